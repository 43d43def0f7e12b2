#include "ComponentVKRClient.h"

#include <iterator>

#include "DataTypes.h"
#include "LogLine.h"

namespace ORQ {

// The 8-bit clients of hwState, cmd, gpsMode and gpsModeIs point at the first
// byte of their 32-bit word, which holds the low bits only on a little-endian
// host.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "low byte of a word is its first byte");

namespace {

int8_t* lowByte(void* word) { return static_cast<int8_t*>(word); }
int16_t* asInt16(void* field) { return static_cast<int16_t*>(field); }

using K = ComponentVKRClient;
using std::size;

// The model's handlers (see HandlerTable.h).
constexpr HandlerRow<K> handlerRows[] = {
    {DataType::pwmOutput.report, DataType::pwmOutput.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.pwmOutputClient =
                    new MessageHandlerInt16Client(asInt16(k.pwmOutput), &k.pwmOutputSize, r, s, size(k.pwmOutput));
     }},
    {DataType::activControl.report, DataType::activControl.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.activControlClient = new MessageHandlerInt16Client(asInt16(&k.activControl), &k.oneSize, r, s, 1);
     }},
    {DataType::heartbeat.report, DataType::heartbeat.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.heartbeatClient = new MessageHandlerHeartbeatClient(r, s);
     }},
    {DataType::secureCommand.report, DataType::secureCommand.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         // Each secure command is carried out once per message: two commands
         // in a row are two messages, never one merged into the other.
         k.secureCommandClient = new MessageHandlerInt32Client(k.secureCommand, &k.secureCommandSize, r, s,
                                                               size(k.secureCommand));
         if (k.secureCommandClient != nullptr) k.secureCommandClient->properties.action = 1;
         return k.secureCommandClient;
     }},
    {DataType::acc.report, DataType::acc.set, 3, "acc",
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.adxlClient = new MessageHandlerVector3Dint16Client(k.acc, &k.accSize, r, s, size(k.acc));
     }},
    {DataType::gyro.report, DataType::gyro.set, 4, "gyro",
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.gyroClient = new MessageHandlerVector3Dint16Client(k.gyro, &k.gyroSize, r, s, size(k.gyro));
     }},
    {DataType::compass.report, DataType::compass.set, 5, "compass",
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.magClient =
                    new MessageHandlerVector3Dint16Client(k.compass, &k.compassSize, r, s, size(k.compass));
     }},
    {DataType::pressure.report, DataType::pressure.set, 6, "pressure",
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.pressureClient =
                    new MessageHandlerInt32Client(k.pressure, &k.pressureSize, r, s, size(k.pressure));
     }},
    {DataType::dcm.report, DataType::dcm.set, 2, "dcm",
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.dcmClient = new MessageHandlerVector3Dint16Client(k.dcm, &k.dcmSize, r, s, size(k.dcm));
     }},
    {DataType::dist.report, DataType::dist.set, 7, "dist",
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.distClient = new MessageHandlerInt16Client(asInt16(k.dist), &k.distSize, r, s, size(k.dist));
     }},
    {DataType::motorOn.report, DataType::motorOn.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.motorOnClient = new MessageHandlerInt8Client(lowByte(&k.motorOn), &k.oneSize, r, s, 1);
     }},
    {DataType::hwState.report, DataType::hwState.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.hwStateClient = new MessageHandlerInt8Client(lowByte(&k.hwState), &k.oneSize, r, s, 1);
     }},
    {DataType::cmd.report, DataType::cmd.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.cmdClient = new MessageHandlerInt8Client(lowByte(&k.cmd), &k.oneSize, r, s, 1);
     }},
    {DataType::hwVersion.report, DataType::hwVersion.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.HWVersionClient = new MessageHandlerInt16Client(asInt16(&k.HWversion), &k.oneSize, r, s, 1);
     }},
    {DataType::fwVersion.report, DataType::fwVersion.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.FWVersionClient = new MessageHandlerInt16Client(asInt16(&k.FWversion), &k.oneSize, r, s, 1);
     }},
    {DataType::fcVersion.report, DataType::fcVersion.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.FCVersionClient = new MessageHandlerInt16Client(asInt16(&k.FCversion), &k.oneSize, r, s, 1);
     }},
    {DataType::temperature.report, DataType::temperature.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.temperatureClient = new MessageHandlerInt16Client(k.temperature, &k.temperatureSize, r, s,
                                                                    size(k.temperature));
     }},
    {DataType::gpsMode.report, DataType::gpsMode.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.gpsModeClient = new MessageHandlerInt8Client(lowByte(&k.gpsMode), &k.oneSize, r, s, 1);
     }},
    {DataType::gpsModeIs.report, DataType::gpsModeIs.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.gpsModeIsClient = new MessageHandlerInt8Client(lowByte(&k.gpsModeIs), &k.oneSize, r, s, 1);
     }},
    {DataType::rcReceiver.report, DataType::rcReceiver.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.rcReceiverClient = new MessageHandlerInt8Client(lowByte(k.rcReceiver), &k.rcReceiverSize, r, s,
                                                                  size(k.rcReceiver));
     }},
    {DataType::currentPosition.report, DataType::currentPosition.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.currentPositionClient = new MessageHandlerGPSPositionClient(
                    k.currentPosition, &k.currentPositionSize, r, s, size(k.currentPosition));
     }},
    {DataType::debugData.report, DataType::debugData.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.debugDataClient = new MessageHandlerRawClient(lowByte(k.debugData), sizeof(k.debugData), r, s);
     }},
    {DataType::waypoint.report, DataType::waypoint.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.waypointClient =
                    new MessageHandlerGPSWaypointClient(k.waypoint, &k.waypointSize, r, s, size(k.waypoint));
     }},
    {DataType::dcmAccZ.report, DataType::dcmAccZ.set, 1, "dcmAccZ",
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.dcmAccZClient =
                    new MessageHandler4Int16Client(&k.dcm[0].x, &k.dcm[0].y, &k.dcm[0].z, &k.acc[0].z, 0, r, s);
     }},
    // gyro has one element, so only channel 0 fits both arrays.
    {DataType::gyroCompass.report, DataType::gyroCompass.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.gyrohcmClient = new MessageHandler2Vector3Dint16Client(k.gyro, k.compass, &k.oneSize, r, s, 1);
     }},
    {DataType::debugText.report, DataType::debugText.set, 0, nullptr,
     [](K& k, uint8_t r, uint8_t s) -> MessageHandler* {
         return k.debugTextClient = new MessageHandlerRawClient(k.debugText, sizeof(k.debugText), r, s);
     }},
};
static_assert(size(handlerRows) == ComponentVKRClient::handlerCount, "one row per handler");

}  // namespace

ComponentVKRClient::ComponentVKRClient(uint8_t id) : ComponentVKR(id), handlerByType{} {
    if (buildHandlers(*this, handlerRows, handlers, handlerByType)) indexHandlers(handlerByType);
}

ComponentVKRClient::~ComponentVKRClient() {
    mh = nullptr;  // the chain is made of the handlers destroyed with `handlers`
}

void ComponentVKRClient::printSpeed(uint16_t timeDiff) {
    logLine(speedLine("[ComponentVKR]", *this, handlerRows, handlers, timeDiff));
}

}  // namespace ORQ
