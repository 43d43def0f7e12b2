#include "MessageHandlerInt32Client.h"

#include "ClientMessage.h"
#include "Component.h"

namespace ORQ {

MessageHandlerInt32Client::MessageHandlerInt32Client(int32_t* data, const uint8_t* dataSize,
                                                     uint8_t dataTypeSet, uint8_t dataTypeGet,
                                                     uint8_t dataCapacity)
    : data(data), dataSize(dataSize), dataTypeSet(dataTypeSet), dataTypeGet(dataTypeGet),
      dataCapacity(dataCapacity) {}

MessageHandlerInt32Client::~MessageHandlerInt32Client() {}

uint8_t MessageHandlerInt32Client::procNewMessage(Message* m) {
    if (m->senderID != component->ID) return 0;
    if (m->dataType != dataTypeSet) return 0;
    if (m->dataSize != 4) return 0;
    if (m->channel >= dataCapacity) return 0;
    const int32_t value = ClientMessage::getInt32(m->data);
    // A reported 0 is kept as 1: after a report the field never reads 0.
    data[m->channel] = value == 0 ? 1 : value;
    component->setUpdate();
    dataCount++;
    return 0;
}

bool MessageHandlerInt32Client::send(uint8_t index) {
    if (index >= *dataSize || index >= dataCapacity) return false;
    uint8_t payload[4];
    ClientMessage::putInt32(payload, data[index]);
    return ClientMessage::send(*this, dataTypeGet, index, payload, sizeof(payload));
}

}  // namespace ORQ
