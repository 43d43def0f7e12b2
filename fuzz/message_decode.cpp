// Fuzz target: one unframed layout through Message::deserialize. Whatever
// decodes must describe exactly the bytes it came from, serialize back into a
// layout that decodes to the same message, and never write past a buffer,
// however small the buffer serialize is given.
#include <cstring>
#include <memory>

#include "FuzzTargets.h"
#include "wire/Message.h"

using ORQ::Message;

namespace {

bool sameMessage(const Message& a, const Message& b) {
    return a.dataType == b.dataType && a.senderID == b.senderID && a.receiverID == b.receiverID &&
           a.dataSize == b.dataSize && a.priority == b.priority && a.ttl == b.ttl &&
           a.channel == b.channel && a.properties.unique == b.properties.unique &&
           (a.dataSize == 0 || std::memcmp(a.data, b.data, a.dataSize) == 0);
}

uint8_t xorOf(const uint8_t* bytes, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= bytes[i];
    return x;
}

void checkDecoded(const Message& m, const uint8_t* in, uint8_t n) {
    const bool full = in[0] == Message::magicByteFull;
    const uint8_t header = full ? 9 : 5;
    ORQ_FUZZ_CHECK(n == m.dataSize + header + 1);
    ORQ_FUZZ_CHECK(m.dataType == in[1] && m.senderID == in[2] && m.receiverID == in[3]);
    ORQ_FUZZ_CHECK(m.dataSize == 0 || std::memcmp(m.data, in + header, m.dataSize) == 0);
    ORQ_FUZZ_CHECK(m.crc == in[n - 1] && xorOf(in, n) == 0);
    if (full) {
        ORQ_FUZZ_CHECK(m.priority == in[5] && m.ttl == in[6]);
        ORQ_FUZZ_CHECK(m.properties.unique == (in[7] & 1u) && m.channel == in[8]);
    } else {
        ORQ_FUZZ_CHECK(m.priority == 0 && m.ttl == 0 && m.properties.unique == 1);
        ORQ_FUZZ_CHECK(m.channel == in[4]);
    }
}

void checkReserialized(Message& m, const uint8_t* in, uint8_t n) {
    uint8_t out[255];
    const uint8_t len = m.serialize(out, sizeof out);
    // serialize refuses payloads above 247 bytes, which a 255-byte Smal
    // layout can carry; everything else comes back.
    ORQ_FUZZ_CHECK((len != 0) == (m.dataSize <= 247));
    if (len == 0) return;
    const bool smal = m.priority == 0 && m.ttl == 0 && m.properties.unique == 1;
    ORQ_FUZZ_CHECK(out[0] == (smal ? Message::magicByteSmal : Message::magicByteFull));
    ORQ_FUZZ_CHECK(len == m.dataSize + (smal ? 6 : 10));
    ORQ_FUZZ_CHECK(xorOf(out, len) == 0 && m.crc == out[len - 1]);
    if (out[0] == in[0]) {
        ORQ_FUZZ_CHECK(len == n);
        for (uint8_t i = 0; i < len; ++i) {
            // Bits 1-7 of the Full layout's properties byte are ignored when read, written as 0.
            const uint8_t expected = (!smal && i == 7) ? (in[i] & 1u) : in[i];
            if (i != len - 1) ORQ_FUZZ_CHECK(out[i] == expected);
        }
    }
    Message back;
    ORQ_FUZZ_CHECK(back.deserialize(out, len) == Message::DECODE_OK);
    ORQ_FUZZ_CHECK(sameMessage(back, m));

    Message copied(m);
    ORQ_FUZZ_CHECK(sameMessage(copied, m) && copied.isEqualForUnique(&m));
    Message assigned;
    assigned = m;
    const Message& self = assigned;
    assigned = self;  // self-assignment keeps the payload
    ORQ_FUZZ_CHECK(sameMessage(assigned, m));
}

// serialize into a buffer of exactly `room` bytes: it writes a whole layout
// or nothing, never past the end.
void checkSerializeBound(Message& m, uint8_t room) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[room ? room : 1]);
    const uint8_t len = m.serialize(buffer.get(), room);
    ORQ_FUZZ_CHECK(len <= room);
    if (room >= m.dataSize + 10 && m.dataSize <= 247) ORQ_FUZZ_CHECK(len != 0);
    if (room < m.dataSize + 8) ORQ_FUZZ_CHECK(len == 0);
}

}  // namespace

int orqFuzzOneMessageDecode(const uint8_t* data, size_t size) {
    const uint8_t n = size > 255 ? 255 : static_cast<uint8_t>(size);

    // Decode into a message that already holds a payload: the old block must
    // be released or kept, never leaked or used after release.
    static const uint8_t previous[] = {0x03, 0x10, 0x01, 0x02, 0x00, 0xFD, 0x20, 0xCD};
    Message m;
    ORQ_FUZZ_CHECK(m.deserialize(previous, sizeof previous) == Message::DECODE_OK);

    // The input in a block of its own size, so that any read past it is seen.
    std::unique_ptr<uint8_t[]> in(new uint8_t[n ? n : 1]());
    if (n) std::memcpy(in.get(), data, n);
    const uint8_t result = m.deserialize(in.get(), n);

    switch (result) {
    case Message::DECODE_OK:
        ORQ_FUZZ_CHECK(n >= 6);
        checkDecoded(m, in.get(), n);
        checkReserialized(m, in.get(), n);
        checkSerializeBound(m, in[n - 1]);
        break;
    case Message::DECODE_TOO_SHORT:
        ORQ_FUZZ_CHECK(n == 0 || (in[0] == Message::magicByteFull ? n <= 6 : n <= 5));
        break;
    case Message::DECODE_BAD_CRC:
        ORQ_FUZZ_CHECK(n >= 6 && xorOf(in.get(), n) != 0);
        break;
    case Message::DECODE_BAD_SIZE:
        ORQ_FUZZ_CHECK(n > 6 && in[0] == Message::magicByteFull && n != in[4] + 10);
        break;
    case Message::DECODE_BAD_MAGIC:
        ORQ_FUZZ_CHECK(n == 0 || (in[0] != Message::magicByteFull && in[0] != Message::magicByteSmal));
        break;
    default:
        ORQ_FUZZ_CHECK(!"unknown decode result");
    }
    // After a failure the message is only destroyed, as every caller does:
    // its fields may be half taken.
    return 0;
}
