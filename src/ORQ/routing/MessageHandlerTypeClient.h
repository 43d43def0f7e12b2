#pragma once
// Type discovery on a placeholder component: asks the sender for its type
// (data type 3, empty payload) 1000 ms of manager time after the placeholder
// joined and then 1000 ms after each request, each request waiting for its
// turn at the manager's TypeRequestPacer once it is due (a request the queue
// refuses keeps its turn and goes on a later tick); a reply of data type 4
// with one byte (1 flight board, 0 ground station) has the factory build the
// typed model with the same ID, adds it to the world model and retires the
// placeholder (ID 0), whenever it arrives.
//
// Threads: run() and msUntilDue() on the main-loop thread (under the
// world-model lock); store() on the receive thread, under the placeholder's
// data lock.
#include <cstdint>

#include "DataTypes.h"
#include "node/MessageHandler.h"
#include "routing/MessageManager.h"

namespace ORQ {

class MessageHandlerTypeClient : public MessageHandler {
public:
    static const uint8_t typeRequest = DataType::typeRequest;
    static const uint8_t typeReply = DataType::typeReply;
    static const uint32_t requestPeriod = 1000;

    // joinedAt: manager time at which the placeholder joined the world model.
    // A null factory builds nothing: the requests go on.
    MessageHandlerTypeClient(ComponentFactory factory, uint32_t joinedAt);
    ~MessageHandlerTypeClient() override;

    // Sends the request when it is due at the tick's time and the pacer lets it.
    void run(uint16_t timeDiff) override;
    // 0 when due; while due and waiting for a turn, the next tick's distance.
    uint32_t msUntilDue(uint32_t now) const override;
    // True when the request was queued.
    bool sendTypeRequest(uint8_t receiver);

protected:
    // The reply: builds and adds the typed model. False in every case: the
    // reply never renews the placeholder, which is retired or goes on asking.
    bool store(Message& m) override;

private:
    const ComponentFactory factory;
    uint32_t dueAt;   // manager time of the next request
    bool waiting;     // due, holding `ticket`
    uint32_t ticket;  // place in the pacer's line while waiting
};

}  // namespace ORQ
