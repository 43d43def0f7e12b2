#pragma once
// Payload integers as the devices put them on the wire: little-endian, two's
// complement, lowest byte first, whatever the host's byte order. The handlers
// read every report's fields with these and orq-dump prints captures with
// them, so a decoder outside the library reads the bytes the same way.
//
// Threads: pure functions, any thread.
#include <cstdint>

namespace ORQ {

class Payload {
public:
    // Inline: every received report's fields go through them.
    static int16_t getInt16(const uint8_t* p) {
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    }
    static int32_t getInt32(const uint8_t* p) {
        return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                                    (uint32_t(p[3]) << 24));
    }
    static void putInt16(uint8_t* p, int16_t v) {
        const uint16_t u = static_cast<uint16_t>(v);
        p[0] = static_cast<uint8_t>(u);
        p[1] = static_cast<uint8_t>(u >> 8);
    }
    static void putInt32(uint8_t* p, int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        p[0] = static_cast<uint8_t>(u);
        p[1] = static_cast<uint8_t>(u >> 8);
        p[2] = static_cast<uint8_t>(u >> 16);
        p[3] = static_cast<uint8_t>(u >> 24);
    }
};

}  // namespace ORQ
