#pragma once
// The simulator's own end of the link protocol: Smal layouts out, Smal or Full
// layouts in, XOR check byte, and the framing (start 0xFD, end 0xFC, escape
// 0xFE + byte - 0x80). Written independently of the library so that tests
// driving the library through the simulator do not check the library's wire
// code against itself.
//
// The static functions are pure. An object is a receive-side deframer holding
// the partial frame between calls; it belongs to one thread.
#include <cstddef>
#include <cstdint>

#include "SimMessage.h"

namespace ORQSim {

class SimCodec {
public:
    static const uint8_t frameStart = 0xFD;
    static const uint8_t frameEnd = 0xFC;
    static const uint8_t frameEscape = 0xFE;
    static const size_t maxLayout = 64;
    static const size_t maxFrame = 2 + 2 * maxLayout;

    // Writes the Smal layout of m (check byte included); returns its length,
    // or 0 when it does not fit into max bytes.
    static size_t encodeSmal(const SimMessage& m, uint8_t* out, size_t max);
    // Wraps n layout bytes into a frame; returns the frame length, or 0 when
    // it does not fit into max bytes.
    static size_t frame(const uint8_t* layout, size_t n, uint8_t* out, size_t max);
    // encodeSmal followed by frame.
    static size_t encodeFrame(const SimMessage& m, uint8_t* out, size_t max);
    // Decodes one unframed Smal (first byte 3) or Full (first byte 2) layout
    // of exactly n bytes; false for an unknown layout, a wrong length or a
    // wrong check byte (out may be partly written then).
    static bool decodeLayout(const uint8_t* layout, size_t n, SimMessage& out);
    // XOR of n bytes.
    static uint8_t checkByte(const uint8_t* bytes, size_t n);

    // Feeds one received byte. Returns true when it completed a frame that
    // decoded; the message is then in out.
    bool push(uint8_t byte, SimMessage& out);
    // Frames that ended but did not decode, or overran the layout limit.
    uint32_t badFrames() const { return bad; }

private:
    uint8_t buffer[maxLayout] = {};
    size_t length = 0;
    bool inFrame = false;
    bool escaped = false;
    bool overrun = false;   // the frame in progress is already lost
    uint32_t bad = 0;
};

}  // namespace ORQSim
