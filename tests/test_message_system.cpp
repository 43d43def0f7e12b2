// The message system: framing of the head message, the receive-side
// resynchronisation, auto mode through a fake link, statistics, and the two
// sides of driver mode running at the same time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <ostream>
#include <vector>

#include "FakeUart.h"
#include "wire/MessageSystem.h"
#include "TestMessages.h"
#include "WireFrames.h"

using ORQ::Message;
using ORQ::MessageSystem;
using ORQ::test::Bytes;
using ORQ::test::FakeUart;
using ORQ::test::frameLayout;
using ORQ::test::layoutOf;
using ORQ::test::makeMessage;
using ORQ::test::payloadOf;
using ORQ::test::unframe;
using testing::ElementsAreArray;

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The frame a message goes out as, built by the reference framing.
Bytes frameOf(Message m) { return frameLayout(layoutOf(m)); }

// Small messages told apart by dataType.
Message tagged(uint8_t dataType) { return makeMessage(dataType, 5, 1, 0, {dataType}); }

Bytes nextFrame(MessageSystem& ms, uint8_t maxBufferSize = 250) {
    uint8_t buffer[256];
    const uint8_t length = ms.getNextSendData(buffer, maxBufferSize);
    return Bytes(buffer, buffer + length);
}

// ---------------------------------------------------------------- framing

// The Smal layout 03 10 01 02 00 FD 20 CD and its escaped frame.
const Bytes smalExampleFrame{0xFD, 0x03, 0x10, 0x01, 0x02, 0x00, 0xFE, 0x7D, 0x20, 0xCD, 0xFC};
Message smalExample() { return makeMessage(0x10, 1, 2, 0, {0xFD, 0x20}); }

struct FramingCase {
    const char* name;
    Message (*build)();
    Bytes expected;
};

void PrintTo(const FramingCase& c, std::ostream* os) { *os << c.name; }

const FramingCase framingCases[] = {
    {"DefaultMessage", [] { return Message(); }, {0xFD, 0x03, 0x00, 0x00, 0x00, 0x00, 0x03, 0xFC}},
    {"EscapesAStartByte", smalExample, smalExampleFrame},
    {"EscapesEndAndEscapeBytes",
     [] { return makeMessage(0x01, 0x02, 0x03, 0x00, {0xFC, 0xFE}); },
     // layout 03 01 02 03 00 FC FE 01
     {0xFD, 0x03, 0x01, 0x02, 0x03, 0x00, 0xFE, 0x7C, 0xFE, 0x7E, 0x01, 0xFC}},
    {"FullLayout",
     [] { return makeMessage(5, 1, 2, 0, {0x10}, 1); },
     {0xFD, 0x02, 0x05, 0x01, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x10, 0x15, 0xFC}},
};

class SendFraming : public testing::TestWithParam<FramingCase> {};

TEST_P(SendFraming, FramesTheHeadAndLeavesItQueued) {
    MessageSystem ms;
    Message m = GetParam().build();
    ms.send(&m);
    EXPECT_THAT(nextFrame(ms), ElementsAreArray(GetParam().expected));
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 1);
    EXPECT_THAT(nextFrame(ms), ElementsAreArray(GetParam().expected));
    ms.getMessageQueue()->deleteFirst();
    EXPECT_TRUE(nextFrame(ms).empty());
}

TEST_P(SendFraming, ReceivingTheFrameYieldsTheMessageBack) {
    MessageSystem ms;
    Message original = GetParam().build();
    Bytes frame = GetParam().expected;
    ms.procNewData(frame.data(), static_cast<uint8_t>(frame.size()));
    std::unique_ptr<Message> m(ms.getNewMessage());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->dataType, original.dataType);
    EXPECT_EQ(m->senderID, original.senderID);
    EXPECT_EQ(m->receiverID, original.receiverID);
    EXPECT_EQ(m->channel, original.channel);
    EXPECT_EQ(m->priority, original.priority);
    EXPECT_EQ(payloadOf(*m), payloadOf(original));
    EXPECT_EQ(ms.statistics().receivedMessages, 1);
    EXPECT_EQ(ms.statistics().receiveError, 0);
}

INSTANTIATE_TEST_SUITE_P(Frames, SendFraming, testing::ValuesIn(framingCases),
                         [](const testing::TestParamInfo<FramingCase>& p) { return p.param.name; });

TEST(SendSide, EmptyQueueGivesNothing) {
    MessageSystem ms;
    EXPECT_TRUE(nextFrame(ms).empty());
    EXPECT_EQ(ms.statistics().sendError, 0);
}

TEST(SendSide, UnserializableHeadIsDroppedAndCounted) {
    MessageSystem ms;
    Message tooBig = makeMessage(1, 1, 2, 0, Bytes(60, 0x11));
    Message following = tagged(7);
    ms.send(&tooBig);
    ms.send(&following);

    EXPECT_TRUE(nextFrame(ms).empty());
    EXPECT_EQ(ms.statistics().sendError, 1);
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 1);
    EXPECT_EQ(nextFrame(ms), frameOf(tagged(7)));
}

TEST(SendSide, FrameLargerThanTheCallersBufferStaysQueuedUnwritten) {
    MessageSystem ms;
    Message m = smalExample();  // 11-byte frame
    ms.send(&m);
    uint8_t buffer[32];
    std::memset(buffer, 0xAA, sizeof(buffer));
    EXPECT_EQ(ms.getNextSendData(buffer, 10), 0);
    for (size_t i = 10; i < sizeof(buffer); ++i) ASSERT_EQ(buffer[i], 0xAA) << "byte " << i;
    EXPECT_EQ(ms.statistics().sendError, 0);
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 1);
    // Each byte is only written while two places are left for it and the end
    // byte, so the 11-byte frame needs a 12-byte buffer.
    EXPECT_EQ(ms.getNextSendData(buffer, 11), 0);
    EXPECT_EQ(ms.getNextSendData(buffer, 12), 11);
}

TEST(SendSide, LongestLayoutWithEveryByteEscapedFitsTheDriversBuffer) {
    MessageSystem ms;
    Message m = makeMessage(0xFD, 0xFE, 0xFC, 0xFD, Bytes(54, 0xFD), 0xFD, 0xFE, true);
    ms.send(&m);
    const Bytes frame = nextFrame(ms);
    Bytes layout;
    ASSERT_TRUE(unframe(frame, layout));
    EXPECT_EQ(layout.size(), 64u);
    EXPECT_EQ(layout, layoutOf(m));
}

// ------------------------------------------------------------ receiving

struct Step {
    Bytes append;      // handed to procNewData before the call (may be empty)
    int expectedType;  // dataType of the message returned, -1 for none
};

struct ReceiveCase {
    const char* name;
    std::vector<Step> steps;
    uint16_t receiveError;
    uint16_t receivedMessages;
    std::string log;
};

void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }

const Bytes f1 = smalExampleFrame;  // dataType 0x10
Bytes f2() { return frameOf(tagged(0x21)); }
Bytes repeat(size_t n, uint8_t b) { return Bytes(n, b); }

// A legitimate frame of 126 bytes: a 64-byte Full layout almost every byte
// of which must be escaped.
Message longEscapedMessage() { return makeMessage(0xFD, 0xFD, 0xFD, 0xFD, Bytes(54, 0xFD), 0xFD, 0xFD); }
Bytes longFrame() { return frameOf(longEscapedMessage()); }

std::vector<ReceiveCase> receiveCases() {
    const Bytes lf = longFrame();
    return {
        {"NoiseBeforeAFrameIsDropped", {{Bytes{0x11, 0x22} + f1, 0x10}, {{}, -1}}, 0, 1, ""},
        {"SecondStartForgetsTheFirst", {{Bytes{0xFD, 0x01, 0x02} + f1, 0x10}}, 0, 1, ""},
        {"StrayEndByteDiscardsTheBuffer", {{Bytes{0xFC} + f1, -1}, {{}, -1}}, 0, 0, ""},
        {"NoStartAtAllDiscardsTheBuffer", {{Bytes{0x01, 0x02, 0x03}, -1}, {f2(), 0x21}}, 0, 1, ""},
        {"FrameInTwoPieces", {{Bytes(f1.begin(), f1.begin() + 5), -1}, {Bytes(f1.begin() + 5, f1.end()), 0x10}}, 1, 1, ""},
        {"UnfinishedFrameCountsOncePerCall", {{Bytes{0xFD, 0x03}, -1}, {{}, -1}, {{}, -1}}, 3, 0, ""},
        {"TwoFramesInOneBuffer", {{f1 + f2(), 0x10}, {{}, 0x21}, {{}, -1}}, 0, 2, ""},
        {"BadCheckByteIsLoggedAndSkipped",
         {{Bytes{0xFD, 0x03, 0x00, 0x00, 0x00, 0x00, 0x04, 0xFC} + f2(), -1}, {{}, 0x21}},
         1, 2, "[MessageSystem] getNewMessage: ERROR deserialize !!! code: 5 bufferSize 6\n"},
        {"EmptyFrame", {{Bytes{0xFD, 0xFC} + f2(), -1}, {{}, 0x21}},
         1, 2, "[MessageSystem] getNewMessage: ERROR deserialize !!! code: 10 bufferSize 0\n"},
        {"FullLayoutOfWrongLength", {{Bytes{0xFD, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFC}, -1}},
         1, 1,
         "[Message] deserialize: ERROR size !!! bufferSize 7 != 10(real size)\n"
         "[MessageSystem] getNewMessage: ERROR deserialize !!! code: 7 bufferSize 7\n"},
        {"ContentBeyond64BytesIsDiscarded", {{Bytes{0xFD} + repeat(65, 0x03) + Bytes{0xFC} + f2(), -1}, {{}, 0x21}},
         1, 2, ""},
        {"EscapedContentBeyond64BytesIsDiscarded",
         {{Bytes{0xFD, 0x03} + [] {
               Bytes b;
               for (int i = 0; i < 64; ++i) b = b + Bytes{0xFE, 0x7D};
               return b;
           }() + Bytes{0xFC},
           -1},
          {f2(), 0x21}},
         1, 2, ""},
        {"DanglingEscapeIsMalformed", {{Bytes{0xFD, 0x03, 0x00, 0x00, 0x00, 0x00, 0x03, 0xFE, 0xFC} + f2(), -1}, {{}, 0x21}},
         1, 2, ""},
        {"LongEscapedFrameInTwoPieces",
         {{Bytes(lf.begin(), lf.end() - 1), -1}, {Bytes(lf.end() - 1, lf.end()), 0xFD}}, 1, 1, ""},
        {"PendingFrameOf130BytesIsKept", {{Bytes{0xFD} + repeat(129, 0x01), -1}, {Bytes{0xFC}, -1}},
         2, 1, ""},  // kept: the end byte completes it (too long to decode, no log)
        {"PendingFrameOver130BytesIsDiscarded", {{Bytes{0xFD} + repeat(130, 0x01), -1}, {Bytes{0xFC}, -1}, {f2(), 0x21}},
         1, 1, ""},
    };
}

class ReceiveSide : public testing::TestWithParam<ReceiveCase> {};

TEST_P(ReceiveSide, FindsTheFramesInTheReceivedBytes) {
    const ReceiveCase& c = GetParam();
    MessageSystem ms;
    testing::internal::CaptureStdout();
    size_t stepNo = 0;
    for (const Step& step : c.steps) {
        Bytes bytes = step.append;
        if (!bytes.empty()) ms.procNewData(bytes.data(), static_cast<uint8_t>(bytes.size()));
        std::unique_ptr<Message> m(ms.getNewMessage());
        if (step.expectedType < 0) {
            EXPECT_EQ(m, nullptr) << "step " << stepNo;
        } else {
            ASSERT_NE(m, nullptr) << "step " << stepNo;
            EXPECT_EQ(m->dataType, step.expectedType) << "step " << stepNo;
        }
        ++stepNo;
    }
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ms.statistics().receiveError, c.receiveError);
    EXPECT_EQ(ms.statistics().receivedMessages, c.receivedMessages);
    EXPECT_EQ(log, c.log);
}

INSTANTIATE_TEST_SUITE_P(Resync, ReceiveSide, testing::ValuesIn(receiveCases()),
                         [](const testing::TestParamInfo<ReceiveCase>& p) { return p.param.name; });

TEST(ReceiveBuffer, KeepsOnlyTheFirst200Bytes) {
    FakeUart link;
    MessageSystem ms(&link);
    // A frame ending exactly at byte 200, then one that no longer fits.
    const Bytes first = f2();
    Bytes bytes = repeat(200 - first.size(), 0x01) + first + frameOf(tagged(0x22));
    bytes = bytes + repeat(250 - bytes.size(), 0x01);
    ASSERT_EQ(bytes.size(), 250u);
    ms.procNewData(bytes.data(), static_cast<uint8_t>(bytes.size()));

    testing::internal::CaptureStdout();
    ms.print(0);
    EXPECT_THAT(testing::internal::GetCapturedStdout(), testing::HasSubstr(" revBufferSize(uart) 200 (0) "));

    std::unique_ptr<Message> m(ms.getNewMessage());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->dataType, 0x21);
    EXPECT_EQ(ms.getNewMessage(), nullptr);  // the second frame was dropped
    EXPECT_EQ(ms.statistics().receivedMessages, 1);
}

TEST(ReceiveBuffer, BytesArrivingWhenFullAreDropped) {
    MessageSystem ms;
    const Bytes filler = repeat(200, 0x01);
    ms.procNewData(filler.data(), static_cast<uint8_t>(filler.size()));
    Bytes frame = f2();
    ms.procNewData(frame.data(), static_cast<uint8_t>(frame.size()));
    EXPECT_EQ(ms.getNewMessage(), nullptr);  // only noise was kept, and is discarded
    ms.procNewData(frame.data(), static_cast<uint8_t>(frame.size()));
    std::unique_ptr<Message> m(ms.getNewMessage());
    EXPECT_NE(m, nullptr);
}

// ------------------------------------------------------------ modes

TEST(Modes, DriverModeCannotBeSwitchedToAutoMode) {
    MessageSystem ms;
    EXPECT_EQ(ms.isAutoSend(), 0);
    EXPECT_EQ(ms.isAutoRecv(), 0);
    ms.setAutoSend(1);
    ms.setAutoRecv(1);
    EXPECT_EQ(ms.isAutoSend(), 0);
    EXPECT_EQ(ms.isAutoRecv(), 0);
}

TEST(Modes, AutoModeCanBeSwitchedOffAndOn) {
    FakeUart link;
    MessageSystem ms(&link);
    EXPECT_EQ(ms.isAutoSend(), 1);
    EXPECT_EQ(ms.isAutoRecv(), 1);
    ms.setAutoSend(0);
    ms.setAutoRecv(0);
    EXPECT_EQ(ms.isAutoSend(), 0);
    EXPECT_EQ(ms.isAutoRecv(), 0);

    Message m = tagged(1);
    ms.send(&m);
    link.addReceived(f2());
    ms.run();
    EXPECT_TRUE(link.sentFrames().empty());
    EXPECT_EQ(link.pendingBytes(), f2().size());

    ms.setAutoSend(1);
    ms.setAutoRecv(1);
    ms.run();
    EXPECT_EQ(link.sentFrames().size(), 1u);
    EXPECT_EQ(link.pendingBytes(), 0u);
}

TEST(Modes, DestroyingASystemDestroysTheRestOfItsList) {
    // Run under AddressSanitizer, a leak here fails the test program.
    auto* first = new MessageSystem();
    first->next = new MessageSystem();
    first->next->next = new MessageSystem();
    Message m = tagged(1);
    first->next->next->send(&m);
    delete first;
    SUCCEED();
}

// ------------------------------------------------------------ auto mode

class AutoMode : public testing::Test {
protected:
    FakeUart link;
    MessageSystem ms{&link};

    void queue(std::vector<Message> messages) {
        for (Message& m : messages) ms.send(&m);
    }
};

TEST_F(AutoMode, SendsUntilTheLinkRefusesAndRetriesTheHeadNextPass) {
    queue({tagged(1), tagged(2), tagged(3)});  // goes out in this order
    link.acceptNext(2);
    ms.run();
    ASSERT_EQ(link.sentFrames().size(), 2u);
    EXPECT_EQ(link.refusedCount(), 1u);
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 1);
    EXPECT_EQ(ms.statistics().sendMessages, 2);
    EXPECT_EQ(ms.statistics().sendError, 0);

    ms.run();  // still refused: nothing lost
    EXPECT_EQ(link.refusedCount(), 2u);
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 1);

    link.acceptAll();
    ms.run();
    const std::vector<Bytes> expected{frameOf(tagged(1)), frameOf(tagged(2)), frameOf(tagged(3))};
    EXPECT_EQ(link.sentFrames(), expected);
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 0);
    EXPECT_EQ(ms.statistics().sendMessages, 3);
    EXPECT_EQ(ms.statistics().sendBytes, 3 * frameOf(tagged(1)).size());
}

TEST_F(AutoMode, HeadThatCanNeverFitTheFrameBufferIsDroppedAndCounted) {
    // A 62-byte layout (serializable) whose frame needs far more than 65 bytes.
    queue({makeMessage(1, 1, 2, 0, Bytes(56, 0xFD)), tagged(2)});
    ms.run();
    EXPECT_EQ(ms.statistics().sendError, 1);
    EXPECT_TRUE(link.sentFrames().empty());
    ms.run();
    EXPECT_EQ(link.sentFrames(), (std::vector<Bytes>{frameOf(tagged(2))}));
}

TEST_F(AutoMode, LongestUnescapedLayoutThatFitsTheFrameBufferIsSent) {
    Message longest = makeMessage(1, 1, 2, 0, Bytes(56, 0x11));  // 62-byte layout, 64-byte frame
    queue({longest});
    ms.run();
    EXPECT_EQ(link.sentFrames(), (std::vector<Bytes>{frameOf(longest)}));
    EXPECT_EQ(ms.statistics().sendBytes, 64u);
    EXPECT_EQ(ms.statistics().sendError, 0);
}

TEST_F(AutoMode, ReadsTheLinkInPiecesOf50Bytes) {
    Bytes bytes;
    for (uint8_t t = 1; t <= 12; ++t) bytes = bytes + frameOf(tagged(t));  // 9 bytes each
    ASSERT_EQ(bytes.size(), 108u);
    link.addReceived(bytes);
    ms.run();
    EXPECT_EQ(link.pieceSizes(), (std::vector<size_t>{50, 50, 8}));
    EXPECT_EQ(ms.statistics().receivedBytes, 108u);

    std::vector<uint8_t> types;
    while (Message* m = ms.getNewMessage()) {
        types.push_back(m->dataType);
        delete m;
    }
    EXPECT_EQ(types, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(ms.statistics().receivedMessages, 12);
    EXPECT_EQ(ms.statistics().receiveError, 0);
}

TEST_F(AutoMode, AcceptsSmallerPiecesFromTheLink) {
    link.setPieceSize(4);
    link.addReceived(f1 + f2());
    ms.run();
    EXPECT_EQ(ms.statistics().receivedBytes, f1.size() + f2().size());
    std::unique_ptr<Message> a(ms.getNewMessage());
    std::unique_ptr<Message> b(ms.getNewMessage());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->dataType, 0x10);
    EXPECT_EQ(b->dataType, 0x21);
}

TEST(DriverMode, RunTouchesNothing) {
    MessageSystem ms;
    Message m = tagged(1);
    ms.send(&m);
    ms.run();
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 1);
    EXPECT_EQ(ms.statistics().sendMessages, 0);
}

// ---------------------------------------------------------------- print

TEST(Statistics, PrintWithoutTimeLeavesOutTheRates) {
    MessageSystem ms;
    testing::internal::CaptureStdout();
    ms.print(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[MessageSystem] print  sendError 0 receiverError 0 queue: elementCount 0 ErrorCount 0"
              " send/received:  Bytes 0/0 Messages 0/0\n");
}

TEST(Statistics, PrintAfterOneSecondGivesTheRatesSinceThePreviousCall) {
    FakeUart link;
    MessageSystem ms(&link);
    Message out = tagged(1);
    ms.send(&out);
    ms.run();  // 9 bytes sent

    testing::internal::CaptureStdout();
    ms.print(0);  // the baseline
    testing::internal::GetCapturedStdout();

    Bytes bytes;
    for (uint8_t t = 1; t <= 10; ++t) bytes = bytes + frameOf(tagged(t));
    link.addReceived(bytes + Bytes{0xFD, 0x03});  // plus the start of an 11th frame
    ms.run();
    while (Message* m = ms.getNewMessage()) delete m;  // 10 messages, 1 unfinished

    testing::internal::CaptureStdout();
    ms.print(1000);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[MessageSystem] print  revBufferSize(uart) 2 (0) sendError 0 receiverError 1"
              " queue: elementCount 0 ErrorCount 0 send/received:  Bytes 9/92 Bytes/s 0/92"
              " Messages 1/10 Messages/s-1/10\n");

    testing::internal::CaptureStdout();
    ms.print(500);  // nothing new since the last call
    EXPECT_THAT(testing::internal::GetCapturedStdout(), testing::HasSubstr(" Bytes/s 0/0 Messages 1/10 Messages/s-1/0\n"));
}

// ------------------------------------------------------------ concurrency

// Driver mode: one thread refreshes several items while the send side frames
// and removes heads and the receive side decodes frames, all on one system.
TEST(DriverModeThreads, EveryFrameIsWholeAndTheLastValueOfEveryItemGoesOut) {
    const int items = 3;
    const uint32_t lastValue = 20000;
    MessageSystem ms;
    std::atomic<bool> producing{true};

    std::thread producer([&] {
        for (uint32_t v = 1; v <= lastValue; ++v) {
            for (int i = 0; i < items; ++i) {
                Message m = makeMessage(static_cast<uint8_t>(40 + i), 1, 5, 0,
                                        {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), 0xFD, 0xFC});
                ms.send(&m);
            }
            if (v % 64 == 0) std::this_thread::yield();
        }
        producing = false;
    });

    std::thread receiver([&] {
        const Bytes frame = f2();
        for (int n = 0; n < 2000; ++n) {
            ms.procNewData(frame.data(), static_cast<uint8_t>(frame.size()));
            delete ms.getNewMessage();
        }
    });

    std::map<uint8_t, uint32_t> lastSeen;
    int badFrames = 0;
    int wentBackwards = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const bool done = !producing;
        uint8_t buffer[250];
        const uint8_t length = ms.getNextSendData(buffer, sizeof(buffer));
        if (length == 0) {
            if (done || std::chrono::steady_clock::now() > deadline) break;
            std::this_thread::yield();
            continue;
        }
        // The link takes a while to write, and the producer keeps refreshing
        // the framed message meanwhile.
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        ms.getMessageQueue()->deleteFirst();

        Bytes layout;
        Message m;
        if (!unframe(Bytes(buffer, buffer + length), layout) ||
            m.deserialize(layout.data(), static_cast<uint8_t>(layout.size())) != Message::DECODE_OK ||
            m.dataSize != 4) {
            ++badFrames;
            continue;
        }
        const uint32_t value = m.data[0] | (m.data[1] << 8);
        if (value < lastSeen[m.dataType]) ++wentBackwards;
        lastSeen[m.dataType] = value;
    }
    producer.join();
    receiver.join();

    EXPECT_EQ(badFrames, 0);
    EXPECT_EQ(wentBackwards, 0);
    for (int i = 0; i < items; ++i) EXPECT_EQ(lastSeen[static_cast<uint8_t>(40 + i)], lastValue) << "item " << i;
    EXPECT_EQ(ms.getMessageQueue()->getElementCount(), 0);
    EXPECT_EQ(ms.statistics().sendError, 0);
    EXPECT_EQ(ms.statistics().receiveError, 0);
    EXPECT_EQ(ms.statistics().receivedMessages, 2000);
}

}  // namespace
