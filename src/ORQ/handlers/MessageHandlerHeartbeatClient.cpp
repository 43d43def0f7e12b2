#include "handlers/MessageHandlerHeartbeatClient.h"

#include "node/Component.h"

namespace ORQ {

MessageHandlerHeartbeatClient::MessageHandlerHeartbeatClient(uint8_t dataTypeSet, uint8_t dataTypeGet)
    : MessageHandler(dataTypeSet, dataTypeGet, 0, 1, anyChannel) {}

MessageHandlerHeartbeatClient::~MessageHandlerHeartbeatClient() {}

bool MessageHandlerHeartbeatClient::store(Message& m) {
    (void)m;
    return true;
}

}  // namespace ORQ
