#include "MessageQueueNode.h"

namespace ORQ {

MessageQueueNode::MessageQueueNode(Message* m) : message(), next(nullptr) { message = *m; }

MessageQueueNode::~MessageQueueNode() {}

}  // namespace ORQ
