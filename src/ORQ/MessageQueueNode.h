#pragma once
// One entry of a MessageQueue: an owned deep copy of a message.
#include "Message.h"

namespace ORQ {

class MessageQueueNode {
public:
    explicit MessageQueueNode(Message* m);  // copies *m by assignment
    ~MessageQueueNode();

    Message message;
    MessageQueueNode* next;
};

}  // namespace ORQ
