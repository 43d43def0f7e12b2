#pragma once
// What the handler clients share on the wire: little-endian reading and
// writing of payload integers (two's complement, lowest byte first, whatever
// the host's byte order), and sending a set or request message on behalf of
// a handler's component.
//
// Threads: send() runs on whichever thread calls the client's send (the host
// thread under the component's data lock, in practice); the byte helpers are
// pure.
#include <cstdint>

#include "MessageHandler.h"

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

    // Inline: the handlers read every report's fields with them.
    static int16_t getInt16(const uint8_t* p) {
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    }
    static int32_t getInt32(const uint8_t* p) {
        return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                                    (uint32_t(p[3]) << 24));
    }
    static void putInt16(uint8_t* p, int16_t v);
    static void putInt32(uint8_t* p, int32_t v);
};

}  // namespace ORQ
