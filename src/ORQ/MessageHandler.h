#pragma once
// Base of every handler on a component's chain. Each received message of the
// component is offered to every handler (receive thread, under the
// component's data lock); run() is called once per main-loop tick.
#include <cstdint>

#include "Message.h"

namespace ORQ {

class Component;

class MessageHandler {
public:
    MessageHandler();
    virtual ~MessageHandler();

    virtual uint8_t procNewMessage(Message* m);  // base: ignores m, returns 0
    virtual void setComponent(Component* c);
    virtual void run(uint16_t timeDiff);  // base: nothing

    // Accepted messages per second over the last timeDiff ms (low 8 bits of
    // dataCount * 1000 / timeDiff); resets dataCount. timeDiff 0 gives 0.
    uint8_t getDatarate(uint16_t timeDiff);

    MessageHandler* next;
    Component* component;
    uint8_t priority;
    uint8_t settable;
    uint8_t gettable;
    uint8_t dataCount;  // messages accepted since the last getDatarate
    Message::Properties properties;  // copied into every message sent
};

}  // namespace ORQ
