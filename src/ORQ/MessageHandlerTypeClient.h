#pragma once
// Type discovery on a placeholder component: asks the sender for its type
// (data type 3, empty payload) about every 1000 ms of ticks; a reply of data
// type 4 with one byte (1 flight board, 0 ground station) creates the typed
// model with the same ID, adds it to the world model and retires the
// placeholder (ID 0).
//
// Threads: run() on the main-loop thread (under the world-model lock);
// procNewMessage() on the receive thread, under the placeholder's data lock.
#include <cstdint>

#include "MessageHandler.h"

namespace ORQ {

class MessageHandlerTypeClient : public MessageHandler {
public:
    static const uint8_t typeRequest = 3;
    static const uint8_t typeReply = 4;
    static const int16_t requestPeriod = 1000;

    MessageHandlerTypeClient();
    ~MessageHandlerTypeClient() override;

    uint8_t procNewMessage(Message* m) override;
    void run(uint16_t timeDiff) override;
    void sendTypeRequest(uint8_t receiver);

    int16_t timeOut;  // ms left until the next request
};

}  // namespace ORQ
