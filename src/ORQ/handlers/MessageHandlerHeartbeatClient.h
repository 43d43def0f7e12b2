#pragma once
// Keeps a device model alive: a heartbeat (dataTypeSet, exactly one byte of
// any value) from the model's device renews the component's update time and
// changes no field. Nothing is ever sent with dataTypeGet; it is only stored.
//
// Threads: procNewMessage() on the receive thread under the component's data
// lock.
#include <cstdint>

#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandlerHeartbeatClient : public MessageHandler {
public:
    MessageHandlerHeartbeatClient(uint8_t dataTypeSet, uint8_t dataTypeGet);
    ~MessageHandlerHeartbeatClient() override;

protected:
    bool store(Message& m) override;  // no field: true
};

}  // namespace ORQ
