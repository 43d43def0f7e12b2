#include "wire/Message.h"

#include <cstdio>
#include <cstring>

#include "log/LogLine.h"

namespace ORQ {

namespace {

// Eight bytes at a time: the XOR of the words, folded, is the XOR of their bytes.
uint8_t xorOf(const uint8_t* bytes, unsigned count) {
    uint64_t words = 0;
    unsigned i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes + i, sizeof w);
        words ^= w;
    }
    words ^= words >> 32;
    words ^= words >> 16;
    words ^= words >> 8;
    uint8_t x = static_cast<uint8_t>(words);
    for (; i < count; ++i) x ^= bytes[i];
    return x;
}

// Full layout header: magic, type, sender, receiver, size, priority, ttl,
// properties, channel.
const uint8_t fullHeaderSize = 9;

// In both layouts the check byte is the last one and the XOR of all before
// it: the layout is intact when the XOR of all its bytes is 0.
uint8_t checkCode(uint8_t layoutXor) {
    return layoutXor == 0 ? Message::DECODE_OK : Message::DECODE_BAD_CRC;
}

// The length a Full layout states: its header, payload and check byte.
unsigned fullLength(const uint8_t* buffer) {
    return buffer[4] + 10u;
}

}  // namespace

Message::Message(const Message& other)
    : dataType(other.dataType),
      senderID(other.senderID),
      receiverID(other.receiverID),
      dataSize(other.dataSize),
      priority(other.priority),
      ttl(other.ttl),
      crc(other.crc),
      channel(other.channel),
      properties(other.properties) {
    std::memcpy(data, other.data, dataSize);
}

Message& Message::operator=(const Message& other) {
    if (this == &other) return *this;
    dataType = other.dataType;
    senderID = other.senderID;
    receiverID = other.receiverID;
    priority = other.priority;
    ttl = other.ttl;
    properties = other.properties;
    channel = other.channel;
    dataSize = other.dataSize;
    std::memcpy(data, other.data, dataSize);
    return *this;
}

bool Message::isEqualForUnique(const Message* other) const {
    return dataType == other->dataType && receiverID == other->receiverID &&
           senderID == other->senderID && channel == other->channel;
}

uint8_t Message::serialize(uint8_t* buffer, uint8_t maxBufferSize) {
    // The same margin of 8 for both layouts, as the senders have always used it.
    if (maxBufferSize < dataSize + 8) return 0;
    if (dataSize > 247) return 0;
    if (priority == 0 && ttl == 0 && properties.unique == 1) {
        return serializeSmal(buffer, maxBufferSize);
    }
    if (maxBufferSize < dataSize + 10) return 0;
    return serializeFull(buffer, maxBufferSize);
}

uint8_t Message::serializeFull(uint8_t* buffer, uint8_t maxBufferSize) {
    (void)maxBufferSize;
    buffer[0] = magicByteFull;
    buffer[1] = dataType;
    buffer[2] = senderID;
    buffer[3] = receiverID;
    buffer[4] = dataSize;
    buffer[5] = priority;
    buffer[6] = ttl;
    buffer[7] = static_cast<uint8_t>(properties.unique);
    buffer[8] = channel;
    std::memcpy(buffer + fullHeaderSize, data, dataSize);
    const unsigned end = fullHeaderSize + dataSize;
    crc = xorOf(buffer, end);
    buffer[end] = crc;
    return static_cast<uint8_t>(end + 1);
}

uint8_t Message::serializeSmal(uint8_t* buffer, uint8_t maxBufferSize) {
    (void)maxBufferSize;
    buffer[0] = magicByteSmal;
    buffer[1] = dataType;
    buffer[2] = senderID;
    buffer[3] = receiverID;
    buffer[4] = channel;
    std::memcpy(buffer + headerSize - 1, data, dataSize);
    const unsigned end = headerSize - 1 + dataSize;
    crc = xorOf(buffer, end);
    buffer[end] = crc;
    return static_cast<uint8_t>(end + 1);
}

uint8_t Message::deserialize(const uint8_t* buffer, uint8_t bufferSize) {
    return deserialize(buffer, bufferSize, xorOf(buffer, bufferSize));
}

uint8_t Message::deserializeFull(const uint8_t* buffer, uint8_t bufferSize) {
    return decodeFull(buffer, bufferSize, xorOf(buffer, bufferSize));
}

uint8_t Message::deserializeSmal(const uint8_t* buffer, uint8_t bufferSize) {
    return decodeSmal(buffer, bufferSize, xorOf(buffer, bufferSize));
}

uint8_t Message::deserialize(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor) {
    if (bufferSize == 0) return DECODE_BAD_MAGIC;
    if (buffer[0] == magicByteFull) return decodeFull(buffer, bufferSize, layoutXor);
    if (buffer[0] == magicByteSmal) return decodeSmal(buffer, bufferSize, layoutXor);
    return DECODE_BAD_MAGIC;
}

uint8_t Message::layoutCode(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor) {
    if (bufferSize == 0) return DECODE_BAD_MAGIC;
    if (buffer[0] == magicByteFull) return fullCode(buffer, bufferSize, layoutXor);
    if (buffer[0] == magicByteSmal) return smalCode(bufferSize, layoutXor);
    return DECODE_BAD_MAGIC;
}

// Inlined into decoding, like the frame's unescaping (MessageSystem.cpp).
[[gnu::always_inline]] inline uint8_t Message::fullCode(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor) {
    if (bufferSize <= 6) return DECODE_TOO_SHORT;
    if (bufferSize != fullLength(buffer)) return DECODE_BAD_SIZE;
    return checkCode(layoutXor);
}

[[gnu::always_inline]] inline uint8_t Message::smalCode(uint8_t bufferSize, uint8_t layoutXor) {
    if (bufferSize < headerSize) return DECODE_TOO_SHORT;
    return checkCode(layoutXor);
}

uint8_t Message::decodeFull(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor) {
    const uint8_t code = fullCode(buffer, bufferSize, layoutXor);
    if (code == DECODE_TOO_SHORT) return code;
    // A 7- or 8-byte buffer ends inside the header: take only the bytes that
    // are there (the length test below rejects it anyway). dataSize is taken
    // together with the payload, so that a rejected layout leaves both as they were.
    const uint8_t size = buffer[4];
    dataType = buffer[1];
    senderID = buffer[2];
    receiverID = buffer[3];
    priority = buffer[5];
    ttl = buffer[6];
    if (bufferSize > 7) properties.unique = buffer[7] & 1;
    if (bufferSize > 8) channel = buffer[8];

    if (code == DECODE_BAD_SIZE) {
        logFrequentLine("[Message] deserialize: ERROR size !!! bufferSize ", static_cast<unsigned>(bufferSize), " != ",
                        fullLength(buffer), "(real size)");
        return code;
    }

    std::memcpy(data, buffer + fullHeaderSize, size);
    dataSize = size;
    crc = buffer[fullHeaderSize + size];
    return code;
}

uint8_t Message::decodeSmal(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor) {
    const uint8_t code = smalCode(bufferSize, layoutXor);
    if (code == DECODE_TOO_SHORT) return code;
    const uint8_t size = static_cast<uint8_t>(bufferSize - headerSize);
    std::memcpy(data, buffer + headerSize - 1, size);
    dataType = buffer[1];
    senderID = buffer[2];
    receiverID = buffer[3];
    channel = buffer[4];
    dataSize = size;
    priority = 0;
    ttl = 0;
    properties.unique = 1;
    crc = buffer[headerSize - 1u + size];
    return code;
}

void Message::print() const {
    // Built in one buffer: 40 bytes of text plus at most 4 per payload byte.
    char line[64 + 4 * 255];
    int pos = std::snprintf(line, sizeof(line), "[Message] %u->%u dataType %u dataSize %u",
                            static_cast<unsigned>(senderID), static_cast<unsigned>(receiverID),
                            static_cast<unsigned>(dataType), static_cast<unsigned>(dataSize));
    for (unsigned i = 0; i < dataSize; ++i) {
        // Never negative: every piece fits the buffer, as counted above.
        const std::size_t room = sizeof(line) - static_cast<std::size_t>(pos);
        pos += std::snprintf(line + pos, room, " %u", static_cast<unsigned>(data[i]));
    }
    logLine(line);
}

}  // namespace ORQ
