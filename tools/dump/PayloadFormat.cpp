#include "PayloadFormat.h"

#include <algorithm>

#include "DataNames.h"
#include "DataTypes.h"
#include "wire/Payload.h"

namespace ORQDump {

namespace {

using ORQ::Payload;
namespace DataType = ORQ::DataType;

// One field of a layout: little-endian, 1 byte unsigned or 2 or 4 bytes
// signed; 0 bytes: the rest of the payload as text. row: the DataIds.def row
// holding the same value (its unit); "" for a value without a unit (a code, a
// flag, a counter), null where the unit is not known.
struct Field {
    std::string name;
    uint8_t bytes;
    const char* row;
};
using Layout = std::vector<Field>;

struct Entry {
    uint8_t dataType;  // the report's type
    const char* name;
    std::vector<Layout> layouts;  // one per payload length the type has
    std::vector<PayloadFormat::Column> columns;
};

Layout vec3(const std::string& prefix, const char* rowX, const char* rowY, const char* rowZ) {
    const auto axis = [&](const char* lower, const char* upper) { return prefix.empty() ? lower : prefix + upper; };
    return {{axis("x", "X"), 2, rowX}, {axis("y", "Y"), 2, rowY}, {axis("z", "Z"), 2, rowZ}};
}
Layout acc(const std::string& prefix = "") { return vec3(prefix, "ACC_X", "ACC_Y", "ACC_Z"); }
Layout gyro(const std::string& prefix = "") { return vec3(prefix, "GYRO_X", "GYRO_Y", "GYRO_Z"); }
Layout compass(const std::string& prefix = "") { return vec3(prefix, "COMPASS_X", "COMPASS_Y", "COMPASS_Z"); }
Layout dcm(const std::string& prefix = "") { return vec3(prefix, "DCM_X", "DCM_Y", "DCM_Z"); }
Layout join(Layout a, const Layout& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Layout position(const char* longitude, const char* latitude, const char* altitude) {
    return {{"longitude", 4, longitude}, {"latitude", 4, latitude}, {"altitude", 4, altitude}, {"status", 1, "GPS_STATUS"}};
}
// The debug block's elements: their units differ and are not known.
Layout debug(std::initializer_list<const char*> names) {
    Layout out;
    for (const char* n : names) out.push_back({n, 2, nullptr});
    return out;
}

DataUnit unitOf(const char* row) {
    if (row == nullptr) return DataUnit("raw");
    if (*row == '\0') return DataUnit("");
    const DataNames::Row* r = DataNames::find(1, std::string(row));
    if (r == nullptr) r = DataNames::find(0, std::string(row));
    return DataUnit(r ? r->unit : "raw");
}

std::vector<Entry> makeEntries() {
    // Reports as the flight board (type 1) and the ground station (type 0)
    // send them; the two use one numbering and never give one type two meanings.
    std::vector<Entry> entries = {
        {DataType::typeReply, "typeReply", {{{"type", 1, "TYPE"}}}, {}},
        {DataType::acc.report, "acc", {acc()}, {}},
        {DataType::gyro.report, "gyro", {gyro()}, {}},
        {DataType::compass.report, "compass", {compass()}, {}},
        {DataType::dist.report, "dist", {{{"value", 2, "DISTANCE"}}}, {}},
        {DataType::pressure.report, "pressure", {{{"value", 4, "PRESSURE"}}}, {}},
        {DataType::dcm.report, "dcm", {dcm()}, {}},
        {DataType::rcSender.report, "rcSender", {{{"value", 1, "RC_SENDER"}}}, {}},
        {DataType::motorOn.report, "motorOn", {{{"value", 1, "MOTOR_ON"}}}, {}},
        {DataType::hwState.report, "hwState", {{{"value", 1, "STATE"}}}, {}},
        {DataType::cmd.report, "cmd", {{{"value", 1, ""}}}, {}},
        {DataType::hwVersion.report, "hwVersion", {{{"value", 2, "HW_VERSION"}}}, {}},
        {DataType::fwVersion.report, "fwVersion", {{{"value", 2, "FW_VERSION"}}}, {}},
        {DataType::temperature.report, "temperature", {{{"value", 2, "TEMPERATURE"}}}, {}},
        {DataType::gpsMode.report, "gpsMode", {{{"value", 1, "GPS_MODE"}}}, {}},
        {DataType::rcReceiver.report, "rcReceiver", {{{"value", 1, "RC_RECEIVER"}}}, {}},
        {DataType::gpsModeIs.report, "gpsModeIs", {{{"value", 1, "GPS_MODE"}}}, {}},
        {DataType::currentPosition.report, "position", {position("LONGITUDE", "LATITUDE", "ALTITUDE")}, {}},
        {DataType::debugData.report,
         "debug",
         {debug({"batteryVoltage", "batteryCurrent", "batteryUsedCapacity", "rcQuality", "mainLoopTime",
                 "mainLoopTimeMin", "mainLoopTimeMax", "simulateRCLoss", "actGas", "uptime", "i2cErrors",
                 "sendMessageCounterRemote", "wi_txchannel", "wi_rxchannel", "wi_group_id", "newID", "satsInUse",
                 "WPNumberAndIndex", "WPHoldTime", "FCFlags", "NCFlags"}),
          debug({"schuelerMode", "i2cError", "mainLoopTime", "mainLoopTimeMin", "mainLoopTimeMax", "wi_txchannel",
                 "wi_rxchannel", "wi_group_id", "newID", "uptime"})},
         {}},
        {DataType::waypoint.report,
         "waypoint",
         {join(position("WAYPOINT_LONGITUDE", "WAYPOINT_LATITUDE", "WAYPOINT_ALTITUDE"),
               {{"heading", 2, nullptr},
                {"toleranceRadius", 1, "WAYPOINT_TOLERANCE_RADIUS"},
                {"holdTime", 1, "WAYPOINT_HOLD_TIME"},
                {"type", 1, ""}})},
         {}},
        {DataType::dcmGyro.report, "dcmGyro", {join(dcm("dcm"), gyro("gyro"))}, {}},
        {DataType::dcmAccZ.report, "dcmAccZ", {join(dcm("dcm"), {{"accZ", 2, "ACC_Z"}})}, {}},
        {DataType::gyroCompass.report, "gyroCompass", {join(gyro("gyro"), compass("compass"))}, {}},
        {DataType::debugText.report, "debugText", {{{"text", 0, ""}}}, {}},
        {DataType::secureCommand.report, "secureCommand", {{{"value", 4, ""}}}, {}},
        {DataType::heartbeat.report, "heartbeat", {{{"value", 1, ""}}}, {}},
        {DataType::activControl.report, "activControl", {{{"value", 2, "ACTIVE_CONTROL"}}}, {}},
        {DataType::fcVersion.report, "fcVersion", {{{"value", 2, ""}}}, {}},
        {DataType::pwmOutput.report, "pwmOutput", {{{"value", 2, "PWM_OUTPUT"}}}, {}},
    };
    for (Entry& e : entries) {
        for (const Layout& layout : e.layouts) {
            for (const Field& f : layout) {
                const bool listed = std::any_of(e.columns.begin(), e.columns.end(),
                                                [&](const PayloadFormat::Column& c) { return c.field == f.name; });
                if (!listed) e.columns.push_back(PayloadFormat::Column{f.name, unitOf(f.row)});
            }
        }
    }
    return entries;
}

const Entry* find(uint8_t dataType) {
    static const std::vector<Entry> entries = makeEntries();
    const uint8_t report = dataType % 2 == 1 ? static_cast<uint8_t>(dataType + 1) : dataType;
    for (const Entry& e : entries) {
        if (e.dataType == report) return &e;
    }
    return nullptr;
}

size_t layoutSize(const Layout& layout) {
    size_t n = 0;
    for (const Field& f : layout) n += f.bytes;
    return n;
}

int64_t integer(const Field& f, const uint8_t* p) {
    switch (f.bytes) {
    case 1: return p[0];
    case 2: return Payload::getInt16(p);
    default: return Payload::getInt32(p);
    }
}

std::string printable(const uint8_t* p, uint8_t size) {
    std::string text;
    for (unsigned i = 0; i < size && p[i] != 0; ++i) {
        text += (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '"') ? static_cast<char>(p[i]) : '?';
    }
    return text;
}

}  // namespace

std::string PayloadFormat::name(uint8_t dataType) {
    if (dataType == DataType::typeRequest) return "typeRequest";
    const Entry* e = find(dataType);
    if (e == nullptr) return "";
    return dataType % 2 == 1 ? std::string(e->name) + ".set" : e->name;
}

int PayloadFormat::number(const std::string& text) {
    for (int type = 0; type < 256; ++type) {
        if (text == name(static_cast<uint8_t>(type))) return type;
    }
    return -1;
}

const std::vector<PayloadFormat::Column>& PayloadFormat::columns(uint8_t dataType) {
    static const std::vector<Column> none;
    const Entry* e = find(dataType);
    return e ? e->columns : none;
}

bool PayloadFormat::isRequest(uint8_t dataType, uint8_t size) {
    return size == 0 && (dataType == DataType::typeRequest || (dataType % 2 == 1 && find(dataType) != nullptr));
}

bool PayloadFormat::decode(uint8_t dataType, const uint8_t* p, uint8_t size, std::vector<Value>& out) {
    out.clear();
    if (isRequest(dataType, size)) return true;
    const Entry* e = find(dataType);
    if (e == nullptr) return false;
    for (const Layout& layout : e->layouts) {
        const bool isText = layout.size() == 1 && layout[0].bytes == 0;
        if (!isText && layoutSize(layout) != size) continue;
        size_t at = 0;
        for (const Field& f : layout) {
            const auto column = std::find_if(e->columns.begin(), e->columns.end(),
                                             [&](const Column& c) { return c.field == f.name; });
            out.push_back(Value{&*column, isText ? 0 : integer(f, p + at), isText ? printable(p, size) : "", isText});
            at += f.bytes;
        }
        return true;
    }
    return false;
}

std::string PayloadFormat::text(const std::vector<Value>& values) {
    std::string out;
    for (const Value& v : values) {
        if (!out.empty()) out += ", ";
        out += v.column->field + '=' +
               (v.isText ? '"' + v.text + '"' : v.column->unit.withSymbol(v.raw));
    }
    return out;
}

std::string PayloadFormat::cell(const Value& value) {
    return value.isText ? value.text : value.column->unit.format(value.raw);
}

}  // namespace ORQDump
