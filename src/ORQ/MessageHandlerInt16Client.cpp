#include "MessageHandlerInt16Client.h"

#include "ClientMessage.h"
#include "Component.h"

namespace ORQ {

MessageHandlerInt16Client::MessageHandlerInt16Client(int16_t* data, const uint8_t* dataSize,
                                                     uint8_t dataTypeSet, uint8_t dataTypeGet,
                                                     uint8_t dataCapacity)
    : data(data), dataSize(dataSize), dataTypeSet(dataTypeSet), dataTypeGet(dataTypeGet),
      dataCapacity(dataCapacity) {}

MessageHandlerInt16Client::~MessageHandlerInt16Client() {}

uint8_t MessageHandlerInt16Client::procNewMessage(Message* m) {
    if (m->senderID != component->ID) return 0;
    if (m->dataType != dataTypeSet) return 0;
    if (m->dataSize != 2) return 0;
    if (m->channel >= dataCapacity) return 0;
    data[m->channel] = ClientMessage::getInt16(m->data);
    component->setUpdate();
    dataCount++;
    return 0;
}

bool MessageHandlerInt16Client::send(uint8_t receiver, uint8_t index) {
    (void)receiver;
    if (index >= dataCapacity) return false;
    uint8_t payload[2];
    ClientMessage::putInt16(payload, data[index]);
    return ClientMessage::send(*this, dataTypeGet, index, payload, sizeof(payload));
}

}  // namespace ORQ
