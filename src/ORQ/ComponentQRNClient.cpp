#include "ComponentQRNClient.h"

#include <iterator>

#include "DataTypes.h"
#include "LogLine.h"

namespace ORQ {

namespace {

int8_t* asInt8(void* field) { return static_cast<int8_t*>(field); }
int16_t* asInt16(void* field) { return static_cast<int16_t*>(field); }

using Q = ComponentQRNClient;
using std::size;

// The model's handlers (see HandlerTable.h).
constexpr HandlerRow<Q> handlerRows[] = {
    {DataType::activControl.report, DataType::activControl.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.activControlClient = new MessageHandlerInt16Client(asInt16(&q.activControl), &q.oneSize, r, s, 1);
     }},
    {DataType::heartbeat.report, DataType::heartbeat.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.heartbeatClient = new MessageHandlerHeartbeatClient(r, s);
     }},
    {DataType::secureCommand.report, DataType::secureCommand.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         // Each secure command is carried out once per message: two commands
         // in a row are two messages, never one merged into the other.
         q.secureCommandClient = new MessageHandlerInt32Client(q.secureCommand, &q.secureCommandSize, r, s,
                                                               size(q.secureCommand));
         if (q.secureCommandClient != nullptr) q.secureCommandClient->properties.action = 1;
         return q.secureCommandClient;
     }},
    {DataType::dcmGyro.report, DataType::dcmGyro.set, 1, "dcmgyro",
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.dcmgyroClient = new MessageHandler2Vector3Dint16Client(q.dcm, q.gyro, &q.gyroSize, r, s, 1);
     }},
    {DataType::acc.report, DataType::acc.set, 3, "acc",
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.adxlClient = new MessageHandlerVector3Dint16Client(q.acc, &q.accSize, r, s, size(q.acc));
     }},
    {DataType::gyro.report, DataType::gyro.set, 4, "gyro",
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.gyroClient = new MessageHandlerVector3Dint16Client(q.gyro, &q.gyroSize, r, s, size(q.gyro));
     }},
    {DataType::compass.report, DataType::compass.set, 5, "compass",
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.magClient =
                    new MessageHandlerVector3Dint16Client(q.compass, &q.compassSize, r, s, size(q.compass));
     }},
    {DataType::pressure.report, DataType::pressure.set, 6, "pressure",
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.pressureClient =
                    new MessageHandlerInt32Client(q.pressure, &q.pressureSize, r, s, size(q.pressure));
     }},
    {DataType::dcm.report, DataType::dcm.set, 2, "dcm",
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.dcmClient = new MessageHandlerVector3Dint16Client(q.dcm, &q.dcmSize, r, s, size(q.dcm));
     }},
    {DataType::rcSender.report, DataType::rcSender.set, 7, "rcSender",
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.rcSenderClient =
                    new MessageHandlerInt8Client(asInt8(q.rcSender), &q.rcSenderSize, r, s, size(q.rcSender));
     }},
    {DataType::rcReceiver.report, DataType::rcReceiver.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.rcReceiverClient = new MessageHandlerInt8Client(asInt8(q.rcReceiver), &q.rcReceiverSize, r, s,
                                                                  size(q.rcReceiver));
     }},
    {DataType::hwVersion.report, DataType::hwVersion.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.HWVersionClient = new MessageHandlerInt16Client(asInt16(&q.HWversion), &q.oneSize, r, s, 1);
     }},
    {DataType::fwVersion.report, DataType::fwVersion.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.FWVersionClient = new MessageHandlerInt16Client(asInt16(&q.FWversion), &q.oneSize, r, s, 1);
     }},
    {DataType::temperature.report, DataType::temperature.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.temperatureClient = new MessageHandlerInt16Client(q.temperature, &q.temperatureSize, r, s,
                                                                    size(q.temperature));
     }},
    {DataType::debugData.report, DataType::debugData.set, 0, nullptr,
     [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.debugDataClient = new MessageHandlerRawClient(asInt8(q.debugData), sizeof(q.debugData), r, s);
     }},
};
static_assert(size(handlerRows) == ComponentQRNClient::handlerCount, "one row per handler");

}  // namespace

ComponentQRNClient::ComponentQRNClient(uint8_t id) : ComponentQRN(id) {
    buildHandlers(*this, handlerRows, handlers);
}

ComponentQRNClient::~ComponentQRNClient() {
    mh = nullptr;  // the chain is made of the handlers destroyed with `handlers`
}

void ComponentQRNClient::sendRCSender() {
    if (rcSenderClient != nullptr) rcSenderClient->send(0);
}

void ComponentQRNClient::printSpeed(uint16_t timeDiff) {
    logLine(speedLine("[ComponentQRN]", *this, handlerRows, handlers, timeDiff));
}

}  // namespace ORQ
