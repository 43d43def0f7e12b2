#pragma once
// Sending a set or request message on behalf of a handler's component (the
// payload's integers are written with Payload).
//
// Threads: send() runs on whichever thread calls the client's send (the host
// thread under the component's data lock, in practice).
#include <cstdint>

#include "node/MessageHandler.h"

namespace ORQ {

class ClientMessage {
public:
    // Builds a message of dataType on channel from the library's own ID to the
    // handler's component, with a copy of size bytes of payload (none when
    // size is 0), the handler's properties and priority/ttl 0, and hands it to
    // Component::send.
    // True when the message was queued (or refreshed a queued one).
    static bool send(const MessageHandler& h, uint8_t dataType, uint8_t channel,
                     const uint8_t* payload, uint8_t size);
};

}  // namespace ORQ
