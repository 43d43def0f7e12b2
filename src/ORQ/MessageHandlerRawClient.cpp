#include "MessageHandlerRawClient.h"

#include <cstring>

#include "ClientMessage.h"
#include "Component.h"

namespace ORQ {

MessageHandlerRawClient::MessageHandlerRawClient(int8_t* data, uint8_t dataSize, uint8_t dataTypeSet,
                                                 uint8_t dataTypeGet)
    : data(data), dataSize(dataSize), dataTypeSet(dataTypeSet), dataTypeGet(dataTypeGet) {}

MessageHandlerRawClient::~MessageHandlerRawClient() {}

uint8_t MessageHandlerRawClient::procNewMessage(Message* m) {
    if (m->senderID != component->ID) return 0;
    if (m->dataType != dataTypeSet) return 0;
    if (m->dataSize > dataSize) m->dataSize = dataSize;
    if (m->dataSize > 0) std::memcpy(data, m->data, m->dataSize);
    component->setUpdate();
    dataCount++;
    return 0;
}

bool MessageHandlerRawClient::send(uint8_t index, int8_t* data, uint8_t dataSize) {
    return ClientMessage::send(*this, dataTypeSet, index, reinterpret_cast<const uint8_t*>(data), dataSize);
}

void MessageHandlerRawClient::RequestUpdate(uint8_t index) { (void)index; }

}  // namespace ORQ
