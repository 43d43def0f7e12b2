#pragma once
// One entry of a MessageQueue: an owned deep copy of a message and when it
// was queued.
#include <chrono>

#include "wire/Message.h"

namespace ORQ {

class MessageQueueNode {
public:
    explicit MessageQueueNode(Message* m);  // copies *m by assignment
    ~MessageQueueNode();

    Message message;
    MessageQueueNode* next;
    std::chrono::steady_clock::time_point queuedAt;  // construction, or the last refresh
};

}  // namespace ORQ
