#include "MessageHandlerInt8Client.h"

#include "ClientMessage.h"
#include "Component.h"

namespace ORQ {

MessageHandlerInt8Client::MessageHandlerInt8Client(int8_t* data, const uint8_t* dataSize,
                                                   uint8_t dataTypeSet, uint8_t dataTypeGet,
                                                   uint8_t dataCapacity)
    : data(data), dataSize(dataSize), dataTypeSet(dataTypeSet), dataTypeGet(dataTypeGet),
      dataCapacity(dataCapacity) {}

MessageHandlerInt8Client::~MessageHandlerInt8Client() {}

uint8_t MessageHandlerInt8Client::procNewMessage(Message* m) {
    if (m->senderID != component->ID) return 0;
    if (m->dataType != dataTypeSet) return 0;
    if (m->dataSize != 1) return 0;
    if (m->channel >= dataCapacity) return 0;
    data[m->channel] = static_cast<int8_t>(m->data[0]);
    component->setUpdate();
    dataCount++;
    return 0;
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
