#include "wire/MessageQueueNode.h"

namespace ORQ {

MessageQueueNode::MessageQueueNode(Message* m) : message(), next(nullptr), queuedAt(std::chrono::steady_clock::now()) { message = *m; }

MessageQueueNode::~MessageQueueNode() {}

}  // namespace ORQ
