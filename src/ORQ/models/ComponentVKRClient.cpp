#include "models/ComponentVKRClient.h"

#include "DataTypes.h"
#include "log/LogLine.h"

namespace ORQ {

// The 8-bit clients of hwState, cmd, gpsMode and gpsModeIs point at the first
// byte of their 32-bit word, which holds the low bits only on a little-endian
// host.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "low byte of a word is its first byte");

namespace {

using K = ComponentVKRClient;

// The model's handlers (see HandlerTable.h).
constexpr HandlerRow<K> handlerRows[] = {
    row<&K::pwmOutputClient, &K::pwmOutput, &K::pwmOutputSize>(DataType::pwmOutput),
    row<&K::activControlClient, &K::activControl, &K::oneSize>(DataType::activControl),
    row<&K::heartbeatClient>(DataType::heartbeat),
    // Each secure command is carried out once per message: two commands in a
    // row are two messages, never one merged into the other.
    row<&K::secureCommandClient, &K::secureCommand, &K::secureCommandSize>(DataType::secureCommand, notInSpeed,
                                                                            Sets::actions),
    row<&K::adxlClient, &K::acc, &K::accSize>(DataType::acc, {3, "acc"}),
    row<&K::gyroClient, &K::gyro, &K::gyroSize>(DataType::gyro, {4, "gyro"}),
    row<&K::magClient, &K::compass, &K::compassSize>(DataType::compass, {5, "compass"}),
    row<&K::pressureClient, &K::pressure, &K::pressureSize>(DataType::pressure, {6, "pressure"}),
    row<&K::dcmClient, &K::dcm, &K::dcmSize>(DataType::dcm, {2, "dcm"}),
    row<&K::distClient, &K::dist, &K::distSize>(DataType::dist, {7, "dist"}),
    row<&K::motorOnClient, &K::motorOn, &K::oneSize>(DataType::motorOn),
    row<&K::hwStateClient, &K::hwState, &K::oneSize>(DataType::hwState),
    row<&K::cmdClient, &K::cmd, &K::oneSize>(DataType::cmd),
    row<&K::HWVersionClient, &K::HWversion, &K::oneSize>(DataType::hwVersion),
    row<&K::FWVersionClient, &K::FWversion, &K::oneSize>(DataType::fwVersion),
    row<&K::FCVersionClient, &K::FCversion, &K::oneSize>(DataType::fcVersion),
    row<&K::temperatureClient, &K::temperature, &K::temperatureSize>(DataType::temperature),
    row<&K::gpsModeClient, &K::gpsMode, &K::oneSize>(DataType::gpsMode),
    row<&K::gpsModeIsClient, &K::gpsModeIs, &K::oneSize>(DataType::gpsModeIs),
    row<&K::rcReceiverClient, &K::rcReceiver, &K::rcReceiverSize>(DataType::rcReceiver),
    row<&K::currentPositionClient, &K::currentPosition, &K::currentPositionSize>(DataType::currentPosition),
    row<&K::debugDataClient, &K::debugData>(DataType::debugData),
    row<&K::waypointClient, &K::waypoint, &K::waypointSize>(DataType::waypoint),
    row<&K::dcmAccZClient, &K::dcm, &K::acc>(DataType::dcmAccZ, {1, "dcmAccZ"}),
    row<&K::gyrohcmClient, &K::gyro, &K::compass, &K::oneSize>(DataType::gyroCompass),
    row<&K::debugTextClient, &K::debugText>(DataType::debugText),
};
static_assert(distinctReportTypes(handlerRows), "one handler per report type");

}  // namespace

ComponentVKRClient::ComponentVKRClient(uint8_t id) : ComponentVKR(id), handlers(handlerRows) {
    handlers.build(*this);
}

ComponentVKRClient::~ComponentVKRClient() {
    mh = nullptr;  // the chain is made of the handlers destroyed with `handlers`
}

int ComponentVKRClient::deviceCode() const { return DeviceCode::flightBoard; }

void ComponentVKRClient::printSpeed(uint16_t timeDiff) { logLine(handlers.speedLine("[ComponentVKR]", *this, timeDiff)); }

}  // namespace ORQ
