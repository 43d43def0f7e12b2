// The receive side under input built to make it work hard: long runs of start
// and escape bytes, frames of the largest size with every byte escaped, and
// thousands of frames in one stream. Every stream must be consumed (a spin or
// a quadratic rescan would show as a test that never ends), every good frame
// in it must still be decoded, and the link counters must add up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DataTypes.h"
#include "DeviceFrames.h"
#include "wire/Message.h"
#include "wire/MessageSystem.h"
#include "WireFrames.h"

namespace {

using ORQ::Message;
using ORQ::MessageSystem;
using ORQ::test::Bytes;

Bytes repeat(const Bytes& unit, size_t times) {
    Bytes out;
    out.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Acceleration report of flight board 5 carrying `tag` in x.
Bytes report(uint16_t tag) {
    return ORQ::test::smalFrame(ORQ::DataType::acc.report, 5, 1, 0, {uint8_t(tag), uint8_t(tag >> 8), 0, 0, 0, 0});
}

// The largest layout (64 bytes, 58 payload bytes) with every payload byte one
// that must be escaped: a 130-byte frame, the longest there is.
Bytes largestFrame() {
    return ORQ::test::smalFrame(ORQ::DataType::debugText.report, 5, 1, 0, Bytes(58, 0xFD));
}

Bytes reports(size_t count, const Bytes& between = Bytes()) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) out = out + between + report(static_cast<uint16_t>(i));
    return out;
}

struct HostileStream {
    std::string name;
    Bytes bytes;
    size_t goodFrames;       // frames in it that must come out decoded
    size_t completedFrames;  // start ... end sequences the receive side takes out
};

struct Outcome {
    size_t decoded = 0;
    size_t calls = 0;
    std::vector<uint16_t> tags;
};

// Hands over one piece and takes messages until the system has nothing more
// to give.
void handOver(MessageSystem& ms, const uint8_t* bytes, size_t n, Outcome& out) {
    ms.procNewData(bytes, static_cast<uint8_t>(n));
    for (;;) {
        const uint16_t before = ms.statistics().receivedMessages;
        std::unique_ptr<Message> m(ms.getNewMessage());
        ++out.calls;
        if (m) {
            ++out.decoded;
            if (m->dataType == ORQ::DataType::acc.report && m->dataSize == 6) out.tags.push_back(uint16_t(m->data[0] | m->data[1] << 8));
        }
        if (ms.statistics().receivedMessages == before) return;
    }
}

enum class Delivery {
    ByteByByte,   // every byte on its own, as a serial line gives them
    AtEachEnd,    // the bytes up to each end byte, in pieces of at most 64
};

// At most 64 bytes per piece: with an unfinished frame of the longest size
// (130 bytes) waiting, a piece still fits the 200-byte receive buffer.
const size_t maxPiece = 64;

Outcome feed(MessageSystem& ms, const Bytes& bytes, Delivery delivery) {
    Outcome out;
    size_t from = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const bool end = bytes[i] == MessageSystem::frameEnd || i + 1 == bytes.size();
        if (delivery == Delivery::ByteByByte || i + 1 - from == maxPiece || end) {
            handOver(ms, bytes.data() + from, i + 1 - from, out);
            from = i + 1;
        }
    }
    return out;
}

std::vector<HostileStream> hostileStreams() {
    const Bytes fd{0xFD}, fe{0xFE}, fc{0xFC};
    return {
        {"StartByteRun", repeat(fd, 20000) + report(7), 1, 1},
        {"EscapeByteRunInsideAFrame", fd + repeat(fe, 20000) + fc + report(7), 1, 1},
        {"StartAndEscapeAlternating", repeat({0xFD, 0xFE}, 10000) + fc + report(7), 1, 2},
        {"EscapeBeforeEveryEnd", repeat({0xFD, 0xFE, 0xFC}, 5000) + report(7), 1, 5001},
        {"LargestFramesBackToBack", repeat(largestFrame(), 1000), 1000, 1000},
        {"ThousandsOfSmallFrames", reports(5000), 5000, 5000},
        {"ThousandsOfEmptyFrames", repeat({0xFD, 0xFC}, 5000) + report(7), 1, 5001},
        {"FramesBetweenNoise", reports(2000, Bytes{0x11, 0x22, 0xFE, 0x33}), 2000, 2000},
        {"NoiseWithoutStartBytes", repeat({0x00, 0xFE, 0x7D, 0xFF}, 10000) + report(7), 1, 1},
    };
}

struct Case {
    HostileStream stream;
    Delivery delivery;
};

class HostileReceiveInput : public ::testing::TestWithParam<Case> {};

TEST_P(HostileReceiveInput, IsConsumedAndEveryGoodFrameStillDecodes) {
    const Case& c = GetParam();
    MessageSystem ms;
    const Outcome out = feed(ms, c.stream.bytes, c.delivery);

    EXPECT_EQ(out.decoded, c.stream.goodFrames);
    EXPECT_EQ(ms.statistics().receivedMessages, static_cast<uint16_t>(c.stream.completedFrames));
    // Bounded work: each call either takes a frame out or ends the round for
    // its piece, so there are never more calls than pieces plus frames.
    EXPECT_LE(out.calls, c.stream.bytes.size() + c.stream.completedFrames);
    // Reports arrive complete and in order.
    for (size_t i = 1; i < out.tags.size(); ++i) EXPECT_EQ(out.tags[i], uint16_t(out.tags[i - 1] + 1)) << i;
}

std::vector<Case> cases() {
    std::vector<Case> all;
    for (const HostileStream& s : hostileStreams()) {
        all.push_back({s, Delivery::ByteByByte});
        all.push_back({s, Delivery::AtEachEnd});
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Streams, HostileReceiveInput, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& p) {
                             return p.param.stream.name +
                                    (p.param.delivery == Delivery::ByteByByte ? "_ByteByByte" : "_AtEachEnd");
                         });

}  // namespace
