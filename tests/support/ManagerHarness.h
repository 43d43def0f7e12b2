#pragma once
// A message manager as the library sets it up, for tests of what components
// and handlers send and receive: one driver-mode message system registered
// (its queue is read the way the send thread reads it), a given own ID, the
// library's device models for type discovery, and a manager clock that the
// test drives. Single-threaded use.
#include <cstdint>
#include <memory>
#include <vector>

#include "wire/Message.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

namespace ORQ {
namespace test {

class ManagerHarness {
public:
    explicit ManagerHarness(uint8_t myID = 1);

    // Switches the manager to observe and auto-add, as the library does.
    void observeAndAutoAdd();
    // One main-loop tick at manager time `time` (ms).
    void tick(uint32_t time);
    // Hands m to the manager as if the link had received it.
    void receive(Message& m);

    // Copies of the queued messages, head first, removed from the queue.
    std::vector<Message> drain();
    uint8_t queued();

    std::unique_ptr<MessageSystem> ms;  // destroyed after the manager
    MessageManager mm;
};

}  // namespace test
}  // namespace ORQ
