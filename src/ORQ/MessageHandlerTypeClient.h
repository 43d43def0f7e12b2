#pragma once
// Type discovery on a placeholder component: asks the sender for its type
// (data type 3, empty payload) about every 1000 ms of ticks, each request
// waiting for its turn at the manager's TypeRequestPacer once it is due (a
// request the queue refuses keeps its turn and goes on a later tick); a
// reply of data type 4 with one byte (1 flight board, 0 ground station)
// has the factory build the typed model with the same ID, adds it to the
// world model and retires the placeholder (ID 0), whenever it arrives.
//
// Threads: run() on the main-loop thread (under the world-model lock);
// procNewMessage() on the receive thread, under the placeholder's data lock.
#include <cstdint>

#include "MessageHandler.h"
#include "MessageManager.h"

namespace ORQ {

class MessageHandlerTypeClient : public MessageHandler {
public:
    static const uint8_t typeRequest = 3;
    static const uint8_t typeReply = 4;
    static const int16_t requestPeriod = 1000;

    // A null factory builds nothing: the requests go on.
    explicit MessageHandlerTypeClient(ComponentFactory factory);
    ~MessageHandlerTypeClient() override;

    uint8_t procNewMessage(Message* m) override;
    void run(uint16_t timeDiff) override;
    // True when the request was queued.
    bool sendTypeRequest(uint8_t receiver);

    int16_t timeOut;  // ms left until the next request is due (0: due)

private:
    const ComponentFactory factory;
    bool waiting;     // due, holding `ticket`
    uint32_t ticket;  // place in the pacer's line while waiting
};

}  // namespace ORQ
