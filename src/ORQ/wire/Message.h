#pragma once
// One message of the link protocol: a data item of one data type, addressed
// from one component ID to another, with a small payload held inside the
// message itself: building, copying or decoding a message allocates nothing,
// and no dataSize can point past the payload.
//
// A message is a value used by one thread at a time; it has no lock.
// Wire layouts (the framing around them belongs to MessageSystem):
//   Full (first byte 2): 02 type sender receiver size prio ttl props channel payload crc
//   Smal (first byte 3): 03 type sender receiver channel payload crc
// The check byte is the XOR of every byte before it.
#include <cstdint>

namespace ORQ {

class Message {
public:
    struct Properties {
        uint32_t unique : 1;  // a newer queued message of the same item may overwrite this one
        // Never on the wire: the message is an action (a command to be
        // carried out once per message) rather than a state, so the send
        // queue never merges it with another message of the same item.
        uint32_t action : 1;
    };

    static const uint8_t magicByteFull = 2;
    static const uint8_t magicByteSmal = 3;

    // Results of deserialize.
    enum : uint8_t {
        DECODE_OK = 0,
        DECODE_TOO_SHORT = 3,
        DECODE_BAD_CRC = 5,
        DECODE_BAD_SIZE = 7,
        DECODE_BAD_MAGIC = 10,
    };

    // Room for the payload: any dataSize a message can state.
    static const unsigned payloadMax = 255;

    // Inline: the receive path builds one per frame.
    Message()
        : dataType(0), senderID(0), receiverID(0), dataSize(0), priority(0), ttl(0), crc(0), channel(0), properties() {
        properties.unique = 1;
    }
    // Copy of every field (channel and crc included) and of the payload.
    Message(const Message& other);
    // Copy; crc keeps its own value. Self-assignment does nothing.
    Message& operator=(const Message& other);

    // Same data item: dataType, receiverID, senderID and channel are equal.
    bool isEqualForUnique(const Message* other) const;

    // Writes the Smal layout when priority == 0, ttl == 0 and unique == 1,
    // the Full layout otherwise. Returns the bytes written, or 0 (nothing
    // written) when maxBufferSize < dataSize + 8, dataSize > 247 or the
    // chosen layout does not fit.
    uint8_t serialize(uint8_t* buffer, uint8_t maxBufferSize);
    // Write one layout without any space test; store the check byte in crc.
    uint8_t serializeFull(uint8_t* buffer, uint8_t maxBufferSize);
    uint8_t serializeSmal(uint8_t* buffer, uint8_t maxBufferSize);

    // Decodes one unframed layout of exactly bufferSize bytes. Returns one of
    // the DECODE_* codes; on any non-zero code the caller discards the message.
    uint8_t deserialize(const uint8_t* buffer, uint8_t bufferSize);
    uint8_t deserializeFull(const uint8_t* buffer, uint8_t bufferSize);
    uint8_t deserializeSmal(const uint8_t* buffer, uint8_t bufferSize);
    // As deserialize, for a caller that has XORed every byte of the layout
    // (the check byte included) in its own pass over them: the layout is
    // intact when layoutXor is 0.
    uint8_t deserialize(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor);
    // The code deserialize gives such a layout, without decoding or logging
    // anything: whether bytes can be trusted as a message.
    static uint8_t layoutCode(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor);

    // "[Message] s->r dataType t dataSize n b0 b1 ..." on standard output.
    void print() const;

    uint8_t dataType;
    uint8_t senderID;
    uint8_t receiverID;
    uint8_t dataSize;  // payload bytes at the start of data
    uint8_t priority;
    uint8_t ttl;
    uint8_t crc;
    uint8_t channel;
    Properties properties;
    // The payload. Only the first dataSize bytes are meaningful, and only they
    // are copied: the rest is never initialised.
    uint8_t data[payloadMax];

private:
    static const uint8_t headerSize = 6;  // Smal layout without payload

    // The code of each layout (see layoutCode).
    static uint8_t fullCode(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor);
    static uint8_t smalCode(uint8_t bufferSize, uint8_t layoutXor);
    uint8_t decodeFull(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor);
    uint8_t decodeSmal(const uint8_t* buffer, uint8_t bufferSize, uint8_t layoutXor);
};

}  // namespace ORQ
