#include "handlers/MessageHandler4Int16Client.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"
#include "wire/Payload.h"

namespace ORQ {

MessageHandler4Int16Client::MessageHandler4Int16Client(int16_t* data0, int16_t* data1, int16_t* data2,
                                                       int16_t* data3, uint8_t channel,
                                                       uint8_t dataTypeSet, uint8_t dataTypeGet)
    : MessageHandler(dataTypeSet, dataTypeGet, 0, 8),
      data0(data0), data1(data1), data2(data2), data3(data3), channel(channel) {
    takeOnlyChannel(channel);
}

MessageHandler4Int16Client::~MessageHandler4Int16Client() {}

bool MessageHandler4Int16Client::store(Message& m) {
    *data0 = Payload::getInt16(m.data);
    *data1 = Payload::getInt16(m.data + 2);
    *data2 = Payload::getInt16(m.data + 4);
    *data3 = Payload::getInt16(m.data + 6);
    return true;
}

void MessageHandler4Int16Client::send(uint8_t receiver, uint8_t index) {
    (void)receiver;
    (void)index;
}

}  // namespace ORQ
