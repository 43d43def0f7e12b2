#include "MessageHandlerHeartbeatClient.h"

#include "Component.h"

namespace ORQ {

MessageHandlerHeartbeatClient::MessageHandlerHeartbeatClient(uint8_t dataTypeSet, uint8_t dataTypeGet)
    : dataTypeSet(dataTypeSet), dataTypeGet(dataTypeGet) {}

MessageHandlerHeartbeatClient::~MessageHandlerHeartbeatClient() {}

uint8_t MessageHandlerHeartbeatClient::procNewMessage(Message* m) {
    if (m->senderID != component->ID) return 0;
    if (m->dataType != dataTypeSet || m->dataSize != 1) return 0;
    component->setUpdate();
    dataCount++;
    return 0;
}

}  // namespace ORQ
