#include "handlers/MessageHandlerInt32Client.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"
#include "wire/Payload.h"

namespace ORQ {

MessageHandlerInt32Client::MessageHandlerInt32Client(int32_t* data, const uint8_t* dataSize,
                                                     uint8_t dataTypeSet, uint8_t dataTypeGet,
                                                     uint8_t dataCapacity)
    : MessageHandler(dataTypeSet, dataTypeGet, dataCapacity, 4), data(data), dataSize(dataSize) {}

MessageHandlerInt32Client::~MessageHandlerInt32Client() {}

bool MessageHandlerInt32Client::store(Message& m) {
    const int32_t value = Payload::getInt32(m.data);
    // A reported 0 is kept as 1: after a report the field never reads 0.
    data[m.channel] = value == 0 ? 1 : value;
    return true;
}

bool MessageHandlerInt32Client::send(uint8_t index) {
    if (index >= *dataSize || index >= dataCapacity) return false;
    uint8_t payload[4];
    Payload::putInt32(payload, data[index]);
    return ClientMessage::send(*this, dataTypeGet, index, payload, sizeof(payload));
}

}  // namespace ORQ
