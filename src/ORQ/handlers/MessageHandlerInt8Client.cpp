#include "handlers/MessageHandlerInt8Client.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"

namespace ORQ {

MessageHandlerInt8Client::MessageHandlerInt8Client(int8_t* data, const uint8_t* dataSize,
                                                   uint8_t dataTypeSet, uint8_t dataTypeGet,
                                                   uint8_t dataCapacity)
    : MessageHandler(dataTypeSet, dataTypeGet, dataCapacity, 1), data(data), dataSize(dataSize) {}

MessageHandlerInt8Client::~MessageHandlerInt8Client() {}

bool MessageHandlerInt8Client::store(Message& m) {
    data[m.channel] = static_cast<int8_t>(m.data[0]);
    return true;
}

bool MessageHandlerInt8Client::send(uint8_t index) {
    if (index >= *dataSize || index >= dataCapacity) return false;
    const uint8_t payload[1] = {static_cast<uint8_t>(data[index])};
    return ClientMessage::send(*this, dataTypeGet, index, payload, sizeof(payload));
}

void MessageHandlerInt8Client::RequestUpdate(uint8_t index) {
    ClientMessage::send(*this, dataTypeGet, index, nullptr, 0);
}

}  // namespace ORQ
