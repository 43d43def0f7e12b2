// Fuzz target: the receive side of one message system (driver mode) over an
// arbitrary byte stream handed over in arbitrary pieces.
//
// Input: a sequence of records, each two control bytes followed by a piece:
//   byte 0: piece length (0-255; fewer if the input ends first)
//   byte 1: low 4 bits: getNewMessage calls after the piece (0: until the
//           system has nothing more to say)
// Checked: the counters only grow, and by at most one per call; a returned
// message is a whole layout that re-serializes to itself; and after any
// stream a good frame is still found (the receive side resynchronises).
#include <cstring>
#include <memory>

#include "DataTypes.h"
#include "FuzzTargets.h"
#include "wire/Message.h"
#include "wire/MessageSystem.h"

using ORQ::Message;
using ORQ::MessageSystem;

namespace {

struct Counters {
    uint16_t received;
    uint16_t errors;
};

Counters countersOf(const MessageSystem& ms) {
    return Counters{ms.statistics().receivedMessages, ms.statistics().receiveError};
}

void checkMessage(Message& m) {
    ORQ_FUZZ_CHECK(m.dataSize <= MessageSystem::layoutMax - 6);
    uint8_t layout[MessageSystem::layoutMax + 8];
    const uint8_t len = m.serialize(layout, sizeof layout);
    ORQ_FUZZ_CHECK(len != 0 && len <= MessageSystem::layoutMax);
    Message back;
    ORQ_FUZZ_CHECK(back.deserialize(layout, len) == Message::DECODE_OK);
    ORQ_FUZZ_CHECK(back.dataType == m.dataType && back.senderID == m.senderID &&
                   back.receiverID == m.receiverID && back.channel == m.channel &&
                   back.dataSize == m.dataSize &&
                   (m.dataSize == 0 || std::memcmp(back.data, m.data, m.dataSize) == 0));
}

// One getNewMessage call with its checks. Returns true when the call took a
// complete frame out of the buffer (decoded or not).
bool takeOne(MessageSystem& ms) {
    const Counters before = countersOf(ms);
    std::unique_ptr<Message> m(ms.getNewMessage());
    const Counters after = countersOf(ms);
    const uint16_t tookFrames = static_cast<uint16_t>(after.received - before.received);
    const uint16_t newErrors = static_cast<uint16_t>(after.errors - before.errors);
    ORQ_FUZZ_CHECK(tookFrames <= 1 && newErrors <= 1);
    if (m) {
        ORQ_FUZZ_CHECK(tookFrames == 1 && newErrors == 0);
        checkMessage(*m);
    }
    return tookFrames == 1;
}

}  // namespace

int orqFuzzOneReceiveStream(const uint8_t* data, size_t size) {
    std::unique_ptr<MessageSystem> ms(new MessageSystem());
    size_t pos = 0;
    while (pos + 2 <= size) {
        const uint8_t length = data[pos];
        const uint8_t calls = data[pos + 1] & 0x0F;
        pos += 2;
        const uint8_t piece = static_cast<uint8_t>(size - pos < length ? size - pos : length);
        ms->procNewData(data + pos, piece);
        pos += piece;
        if (calls) {
            for (uint8_t i = 0; i < calls; ++i) takeOne(*ms);
        } else {
            // Each frame taken consumes at least two bytes of a 200-byte buffer.
            int guard = 0;
            while (takeOne(*ms)) ORQ_FUZZ_CHECK(++guard <= 100);
        }
    }

    // Drain, then a good frame (flight board 5 reports acc 1, 2, 3) must come
    // through whatever the stream left behind.
    int guard = 0;
    while (takeOne(*ms)) ORQ_FUZZ_CHECK(++guard <= 100);
    static const uint8_t good[] = {0xFD, 0x03, 0x06, 0x05, 0x01, 0x00, 0x01, 0x00,
                                   0x02, 0x00, 0x03, 0x00, 0x01, 0xFC};
    ms->procNewData(good, sizeof good);
    std::unique_ptr<Message> m(ms->getNewMessage());
    ORQ_FUZZ_CHECK(m && m->dataType == ORQ::DataType::acc.report && m->senderID == 5 && m->dataSize == 6 &&
                   m->data[0] == 1 && m->data[2] == 2 && m->data[4] == 3);
    return 0;
}
