#include "ComponentQRNClient.h"

#include <iterator>

#include "LogLine.h"

namespace ORQ {

namespace {

int8_t* asInt8(void* field) { return static_cast<int8_t*>(field); }
int16_t* asInt16(void* field) { return static_cast<int16_t*>(field); }

using Q = ComponentQRNClient;
using std::size;

// The model's handlers (see HandlerTable.h).
constexpr HandlerRow<Q> handlerRows[] = {
    {56, 55, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.activControlClient = new MessageHandlerInt16Client(asInt16(&q.activControl), &q.oneSize, r, s, 1);
     }},
    {54, 53, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.heartbeatClient = new MessageHandlerHeartbeatClient(r, s);
     }},
    {52, 51, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.secureCommandClient = new MessageHandlerInt32Client(q.secureCommand, &q.secureCommandSize, r, s,
                                                                      size(q.secureCommand));
     }},
    {44, 43, 1, "dcmgyro", [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.dcmgyroClient = new MessageHandler2Vector3Dint16Client(q.dcm, q.gyro, &q.gyroSize, r, s, 1);
     }},
    {6, 5, 3, "acc", [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.adxlClient = new MessageHandlerVector3Dint16Client(q.acc, &q.accSize, r, s, size(q.acc));
     }},
    {8, 7, 4, "gyro", [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.gyroClient = new MessageHandlerVector3Dint16Client(q.gyro, &q.gyroSize, r, s, size(q.gyro));
     }},
    {10, 9, 5, "compass", [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.magClient =
                    new MessageHandlerVector3Dint16Client(q.compass, &q.compassSize, r, s, size(q.compass));
     }},
    {14, 13, 6, "pressure", [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.pressureClient =
                    new MessageHandlerInt32Client(q.pressure, &q.pressureSize, r, s, size(q.pressure));
     }},
    {16, 15, 2, "dcm", [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.dcmClient = new MessageHandlerVector3Dint16Client(q.dcm, &q.dcmSize, r, s, size(q.dcm));
     }},
    {18, 17, 7, "rcSender", [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.rcSenderClient =
                    new MessageHandlerInt8Client(asInt8(q.rcSender), &q.rcSenderSize, r, s, size(q.rcSender));
     }},
    {34, 33, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.rcReceiverClient = new MessageHandlerInt8Client(asInt8(q.rcReceiver), &q.rcReceiverSize, r, s,
                                                                  size(q.rcReceiver));
     }},
    {26, 25, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.HWVersionClient = new MessageHandlerInt16Client(asInt16(&q.HWversion), &q.oneSize, r, s, 1);
     }},
    {28, 27, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.FWVersionClient = new MessageHandlerInt16Client(asInt16(&q.FWversion), &q.oneSize, r, s, 1);
     }},
    {30, 29, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
         return q.temperatureClient = new MessageHandlerInt16Client(q.temperature, &q.temperatureSize, r, s,
                                                                    size(q.temperature));
     }},
    {40, 39, 0, nullptr, [](Q& q, uint8_t r, uint8_t s) -> MessageHandler* {
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
