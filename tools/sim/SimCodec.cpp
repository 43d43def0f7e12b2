#include "SimCodec.h"

#include <cstring>

namespace ORQSim {

namespace {
const uint8_t layoutFull = 2;
const uint8_t layoutSmal = 3;
const size_t smalHeader = 5;   // magic, type, sender, receiver, channel
const size_t fullHeader = 9;   // + size, priority, ttl, properties
}  // namespace

uint8_t SimCodec::checkByte(const uint8_t* bytes, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= bytes[i];
    return x;
}

size_t SimCodec::encodeSmal(const SimMessage& m, uint8_t* out, size_t max) {
    const size_t n = smalHeader + m.size + 1;
    if (m.size > SimMessage::maxPayload || n > max || n > maxLayout) return 0;
    out[0] = layoutSmal;
    out[1] = m.dataType;
    out[2] = m.sender;
    out[3] = m.receiver;
    out[4] = m.channel;
    std::memcpy(out + smalHeader, m.payload, m.size);
    out[n - 1] = checkByte(out, n - 1);
    return n;
}

size_t SimCodec::frame(const uint8_t* layout, size_t n, uint8_t* out, size_t max) {
    size_t pos = 0;
    if (max < 2) return 0;
    out[pos++] = frameStart;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = layout[i];
        const bool escape = b == frameStart || b == frameEnd || b == frameEscape;
        // Keep room for this byte (two when escaped) and the end byte.
        if (pos + (escape ? 2 : 1) + 1 > max) return 0;
        if (escape) {
            out[pos++] = frameEscape;
            out[pos++] = static_cast<uint8_t>(b - 0x80);
        } else {
            out[pos++] = b;
        }
    }
    out[pos++] = frameEnd;
    return pos;
}

size_t SimCodec::encodeFrame(const SimMessage& m, uint8_t* out, size_t max) {
    uint8_t layout[maxLayout];
    const size_t n = encodeSmal(m, layout, sizeof layout);
    if (n == 0) return 0;
    return frame(layout, n, out, max);
}

bool SimCodec::decodeLayout(const uint8_t* layout, size_t n, SimMessage& out) {
    if (n < 1 || n > maxLayout) return false;
    size_t header = 0;
    size_t payload = 0;
    if (layout[0] == layoutSmal) {
        if (n < smalHeader + 1) return false;
        header = smalHeader;
        payload = n - smalHeader - 1;
        out.channel = layout[4];
    } else if (layout[0] == layoutFull) {
        if (n < fullHeader + 1) return false;
        header = fullHeader;
        payload = layout[4];
        if (n != fullHeader + payload + 1) return false;
        out.channel = layout[8];
    } else {
        return false;
    }
    if (payload > SimMessage::maxPayload) return false;
    if (checkByte(layout, n - 1) != layout[n - 1]) return false;
    out.dataType = layout[1];
    out.sender = layout[2];
    out.receiver = layout[3];
    out.size = static_cast<uint8_t>(payload);
    std::memcpy(out.payload, layout + header, payload);
    return true;
}

bool SimCodec::push(uint8_t byte, SimMessage& out) {
    if (byte == frameStart) {
        // A start always opens a new frame; an unfinished one is abandoned.
        inFrame = true;
        escaped = false;
        overrun = false;
        length = 0;
        return false;
    }
    if (!inFrame) return false;
    if (byte == frameEnd) {
        inFrame = false;
        if (overrun || escaped || !decodeLayout(buffer, length, out)) {
            ++bad;
            return false;
        }
        return true;
    }
    if (byte == frameEscape && !escaped) {
        escaped = true;
        return false;
    }
    const uint8_t value = escaped ? static_cast<uint8_t>(byte - 0x80) : byte;
    escaped = false;
    if (length == maxLayout) {
        overrun = true;
        return false;
    }
    buffer[length++] = value;
    return false;
}

}  // namespace ORQSim
