#include "handlers/MessageHandlerInt16Client.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"
#include "wire/Payload.h"

namespace ORQ {

MessageHandlerInt16Client::MessageHandlerInt16Client(int16_t* data, const uint8_t* dataSize,
                                                     uint8_t dataTypeSet, uint8_t dataTypeGet,
                                                     uint8_t dataCapacity)
    : MessageHandler(dataTypeSet, dataTypeGet, dataCapacity, 2), data(data), dataSize(dataSize) {}

MessageHandlerInt16Client::~MessageHandlerInt16Client() {}

bool MessageHandlerInt16Client::store(Message& m) {
    data[m.channel] = Payload::getInt16(m.data);
    return true;
}

bool MessageHandlerInt16Client::send(uint8_t receiver, uint8_t index) {
    (void)receiver;
    if (index >= dataCapacity) return false;
    uint8_t payload[2];
    Payload::putInt16(payload, data[index]);
    return ClientMessage::send(*this, dataTypeGet, index, payload, sizeof(payload));
}

}  // namespace ORQ
