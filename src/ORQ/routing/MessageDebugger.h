#pragma once
// Optional observer of every message the manager routes (receive thread).
namespace ORQ {

class Message;
class MessageSystem;

class MessageDebugger {
public:
    virtual ~MessageDebugger() {}
    virtual void procMessage(Message* m, MessageSystem* ms) = 0;
};

}  // namespace ORQ
