#include "PayloadFormat.h"

#include <initializer_list>

#include "DataTypes.h"
#include "wire/Payload.h"

namespace ORQDump {

namespace {

using ORQ::Payload;
namespace DataType = ORQ::DataType;

enum class Layout { Vec3, Int16, Int32, UInt8, Position, Debug, Waypoint, TwoVec3, FourInt16, Text, TypeReply };

struct Entry {
    uint8_t dataType;  // the report's type
    const char* name;
    Layout layout;
    const char* first;   // TwoVec3: the prefixes of its two vectors
    const char* second;
};

// Reports as the flight board (type 1) and the ground station (type 0) send
// them; the two use one numbering and never give one type two meanings.
const Entry entries[] = {
    {DataType::typeReply, "typeReply", Layout::TypeReply, nullptr, nullptr},
    {DataType::acc.report, "acc", Layout::Vec3, nullptr, nullptr},
    {DataType::gyro.report, "gyro", Layout::Vec3, nullptr, nullptr},
    {DataType::compass.report, "compass", Layout::Vec3, nullptr, nullptr},
    {DataType::dist.report, "dist", Layout::Int16, nullptr, nullptr},
    {DataType::pressure.report, "pressure", Layout::Int32, nullptr, nullptr},
    {DataType::dcm.report, "dcm", Layout::Vec3, nullptr, nullptr},
    {DataType::rcSender.report, "rcSender", Layout::UInt8, nullptr, nullptr},
    {DataType::motorOn.report, "motorOn", Layout::UInt8, nullptr, nullptr},
    {DataType::hwState.report, "hwState", Layout::UInt8, nullptr, nullptr},
    {DataType::cmd.report, "cmd", Layout::UInt8, nullptr, nullptr},
    {DataType::hwVersion.report, "hwVersion", Layout::Int16, nullptr, nullptr},
    {DataType::fwVersion.report, "fwVersion", Layout::Int16, nullptr, nullptr},
    {DataType::temperature.report, "temperature", Layout::Int16, nullptr, nullptr},
    {DataType::gpsMode.report, "gpsMode", Layout::UInt8, nullptr, nullptr},
    {DataType::rcReceiver.report, "rcReceiver", Layout::UInt8, nullptr, nullptr},
    {DataType::gpsModeIs.report, "gpsModeIs", Layout::UInt8, nullptr, nullptr},
    {DataType::currentPosition.report, "position", Layout::Position, nullptr, nullptr},
    {DataType::debugData.report, "debug", Layout::Debug, nullptr, nullptr},
    {DataType::waypoint.report, "waypoint", Layout::Waypoint, nullptr, nullptr},
    {DataType::dcmGyro.report, "dcmGyro", Layout::TwoVec3, "dcm", "gyro"},
    {DataType::dcmAccZ.report, "dcmAccZ", Layout::FourInt16, nullptr, nullptr},
    {DataType::gyroCompass.report, "gyroCompass", Layout::TwoVec3, "gyro", "compass"},
    {DataType::debugText.report, "debugText", Layout::Text, nullptr, nullptr},
    {DataType::secureCommand.report, "secureCommand", Layout::Int32, nullptr, nullptr},
    {DataType::heartbeat.report, "heartbeat", Layout::UInt8, nullptr, nullptr},
    {DataType::activControl.report, "activControl", Layout::Int16, nullptr, nullptr},
    {DataType::fcVersion.report, "fcVersion", Layout::Int16, nullptr, nullptr},
    {DataType::pwmOutput.report, "pwmOutput", Layout::Int16, nullptr, nullptr},
};

// The debug blocks: 21 elements from a flight board, 10 from a ground station.
const char* const flightBoardDebug[] = {
    "batteryVoltage", "batteryCurrent", "batteryUsedCapacity", "rcQuality", "mainLoopTime", "mainLoopTimeMin",
    "mainLoopTimeMax", "simulateRCLoss", "actGas", "uptime", "i2cErrors", "sendMessageCounterRemote",
    "wi_txchannel", "wi_rxchannel", "wi_group_id", "newID", "satsInUse", "WPNumberAndIndex", "WPHoldTime",
    "FCFlags", "NCFlags"};
const char* const groundStationDebug[] = {"schuelerMode", "i2cError", "mainLoopTime", "mainLoopTimeMin",
                                          "mainLoopTimeMax", "wi_txchannel", "wi_rxchannel", "wi_group_id",
                                          "newID", "uptime"};

const Entry* find(uint8_t reportType) {
    for (const Entry& e : entries) {
        if (e.dataType == reportType) return &e;
    }
    return nullptr;
}

class Pairs {
public:
    void add(const std::string& key, long long value) { add(key, std::to_string(value)); }
    void add(const std::string& key, const std::string& value) {
        if (!text.empty()) text += ' ';
        text += key + '=' + value;
    }
    std::string text;
};

void vec3(Pairs& out, const std::string& prefix, const uint8_t* p) {
    const char* axis[] = {"x", "y", "z"};
    for (int i = 0; i < 3; ++i) {
        out.add(prefix.empty() ? axis[i] : prefix + char(axis[i][0] - 'a' + 'A'), Payload::getInt16(p + 2 * i));
    }
}

void position(Pairs& out, const uint8_t* p) {
    out.add("longitude", Payload::getInt32(p));
    out.add("latitude", Payload::getInt32(p + 4));
    out.add("altitude", Payload::getInt32(p + 8));
    out.add("status", p[12]);
}

}  // namespace

std::string PayloadFormat::name(uint8_t dataType) {
    if (dataType == DataType::typeRequest) return "typeRequest";
    const bool set = dataType % 2 == 1;
    const Entry* e = find(set ? static_cast<uint8_t>(dataType + 1) : dataType);
    if (e == nullptr) return "";
    return set ? std::string(e->name) + ".set" : e->name;
}

std::string PayloadFormat::values(uint8_t dataType, const uint8_t* p, uint8_t size) {
    if (dataType == DataType::typeRequest) return size == 0 ? "request" : "";
    const bool set = dataType % 2 == 1;
    const Entry* e = find(set ? static_cast<uint8_t>(dataType + 1) : dataType);
    if (e == nullptr) return "";
    if (set && size == 0) return "request";
    Pairs out;
    switch (e->layout) {
        case Layout::Vec3:
            if (size != 6) return "";
            vec3(out, "", p);
            break;
        case Layout::Int16:
            if (size != 2) return "";
            out.add("value", Payload::getInt16(p));
            break;
        case Layout::Int32:
            if (size != 4) return "";
            out.add("value", Payload::getInt32(p));
            break;
        case Layout::UInt8:
        case Layout::TypeReply:
            if (size != 1) return "";
            out.add(e->layout == Layout::TypeReply ? "type" : "value", p[0]);
            break;
        case Layout::Position:
            if (size != 13) return "";
            position(out, p);
            break;
        case Layout::Debug: {
            const char* const* names = size == 2 * 21 ? flightBoardDebug : size == 2 * 10 ? groundStationDebug : nullptr;
            if (names == nullptr) return "";
            for (unsigned i = 0; i < size / 2u; ++i) out.add(names[i], Payload::getInt16(p + 2 * i));
            break;
        }
        case Layout::Waypoint:
            if (size != 18) return "";
            position(out, p);
            out.add("heading", Payload::getInt16(p + 13));
            out.add("toleranceRadius", p[15]);
            out.add("holdTime", p[16]);
            out.add("type", p[17]);
            break;
        case Layout::TwoVec3:
            if (size != 12) return "";
            vec3(out, e->first, p);
            vec3(out, e->second, p + 6);
            break;
        case Layout::FourInt16: {
            if (size != 8) return "";
            const char* names[] = {"dcmX", "dcmY", "dcmZ", "accZ"};
            for (int i = 0; i < 4; ++i) out.add(names[i], Payload::getInt16(p + 2 * i));
            break;
        }
        case Layout::Text: {
            std::string text;
            for (unsigned i = 0; i < size && p[i] != 0; ++i) {
                text += (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '"') ? static_cast<char>(p[i]) : '?';
            }
            out.add("text", '"' + text + '"');
            break;
        }
    }
    return out.text;
}

}  // namespace ORQDump
