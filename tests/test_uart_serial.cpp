// The serial link and its pump, on a pseudo-terminal whose master plays the
// remote device: framing of received bytes, the Uart operations, sending, and
// stopping while the far end never reads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "DeviceFrames.h"
#include "routing/MessageDebugger.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "ProcessProbe.h"
#include "Pty.h"
#include "StdoutCapture.h"
#include "TestMessages.h"
#include "host/Pump.h"
#include "link/UartSerial.h"

// Allocations made by the test's thread while it counts them.
namespace {
thread_local bool countingAllocations = false;
std::atomic<unsigned> allocations(0);

void* allocate(std::size_t size) noexcept {
    if (countingAllocations) ++allocations;
    return std::malloc(size ? size : 1);
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
// Not inlined: the compiler would see free() called on what operator new returned.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace ORQ::test;

namespace {

const std::chrono::milliseconds kDeadline(20000);

struct Routed {
    uint8_t dataType;
    uint8_t senderID;
    uint8_t receiverID;
    uint8_t channel;
    Bytes payload;
};

// Records every message the manager routes (called on the receive thread).
class RoutedMessages : public ORQ::MessageDebugger {
public:
    void procMessage(ORQ::Message* m, ORQ::MessageSystem*) override {
        std::lock_guard<std::mutex> lock(mutex);
        routed.push_back(Routed{m->dataType, m->senderID, m->receiverID, m->channel, payloadOf(*m)});
    }
    std::vector<Routed> all() {
        std::lock_guard<std::mutex> lock(mutex);
        return routed;
    }
    std::size_t count() { return all().size(); }

private:
    std::mutex mutex;
    std::vector<Routed> routed;
};

class UartSerialTest : public ::testing::Test {
protected:
    UartSerialTest() : uart(device.slavePath().c_str()), pump(uart, ms, mm, ORQ::Pump::Clock::none) {
        mm.setMessageDebugger(&routed);
    }
    ~UartSerialTest() override { pump.stop(); }

    void start() {
        pump.start();
        ASSERT_EQ(1, uart.getIsOpen());
    }

    StdoutCapture out;
    Pty device;
    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    RoutedMessages routed;
    ORQ::UartSerial uart;
    ORQ::Pump pump;
};

TEST_F(UartSerialTest, FrameIsRoutedWhenItsEndByteArrivesNotBefore) {
    start();
    const Bytes frame = smalFrame(54, 7, 1, 2, {0x01});
    device.write(Bytes(frame.begin(), frame.end() - 1));
    ASSERT_TRUE(eventually([&] { return pump.newData() == frame.size() - 1; }, kDeadline));
    EXPECT_EQ(0u, routed.count());

    device.write({0xFC});
    ASSERT_TRUE(eventually([&] { return routed.count() == 1; }, kDeadline));
    const Routed m = routed.all()[0];
    EXPECT_EQ(54, m.dataType);
    EXPECT_EQ(7, m.senderID);
    EXPECT_EQ(1, m.receiverID);
    EXPECT_EQ(2, m.channel);
    EXPECT_EQ(Bytes{0x01}, m.payload);
    EXPECT_EQ(0, pump.newData());
}

TEST_F(UartSerialTest, EveryFrameOfAStreamIsRouted) {
    start();
    Bytes stream;
    for (uint8_t id = 2; id < 22; ++id) {
        const Bytes frame = smalFrame(54, id, 1, 0, {id, 0xFD});  // 0xFD goes out escaped
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    device.write(stream);
    ASSERT_TRUE(eventually([&] { return routed.count() == 20; }, kDeadline));
    const std::vector<Routed> all = routed.all();
    for (uint8_t i = 0; i < 20; ++i) {
        EXPECT_EQ(i + 2, all[i].senderID);
        EXPECT_EQ((Bytes{static_cast<uint8_t>(i + 2), 0xFD}), all[i].payload);
    }
}

TEST_F(UartSerialTest, GatheredBytesAreDroppedWhenTheBufferFillsWithoutAnEndByte) {
    start();
    device.write(Bytes(1000, 0x55));
    ASSERT_TRUE(eventually([&] { return pump.newData() == 250; }, kDeadline));
    // The receive thread keeps reading: the next frame is still routed.
    device.write(smalFrame(54, 7, 1, 0, {0x01}));
    EXPECT_TRUE(eventually([&] { return routed.count() == 1; }, kDeadline));
    EXPECT_EQ(1u, out.count("[UartSerial] workerRecv buffer (1000) full, waiting..."));
}

TEST_F(UartSerialTest, FrameAfterMoreNoiseThanTheReceiveBufferHoldsIsRouted) {
    start();
    Bytes stream(600, 0x55);
    const Bytes frame = smalFrame(54, 7, 1, 0, {0x01});
    stream.insert(stream.end(), frame.begin(), frame.end());
    device.write(stream);
    ASSERT_TRUE(eventually([&] { return routed.count() == 1; }, kDeadline));
    EXPECT_EQ(7, routed.all()[0].senderID);
    EXPECT_EQ(0, ms.statistics().receiveError);
}

TEST_F(UartSerialTest, BytesReadFromThePortAreCountedAsReceived) {
    start();
    Bytes stream(30, 0x55);
    const Bytes frame = smalFrame(54, 7, 1, 0, {0x01});
    stream.insert(stream.end(), frame.begin(), frame.end());
    device.write(stream);
    ASSERT_TRUE(eventually([&] { return routed.count() == 1; }, kDeadline));
    EXPECT_EQ(stream.size(), ms.statistics().receivedBytes);
}

struct Waiting {
    std::size_t waiting;   // bytes received without an end byte
    uint8_t take;          // receive() limit
    uint8_t newDataBefore;
    uint8_t taken;
};

class UartReceiveTest : public UartSerialTest, public ::testing::WithParamInterface<Waiting> {};

TEST_P(UartReceiveTest, ReceiveMovesTheOldestBytesAndKeepsTheRestInOrder) {
    const Waiting p = GetParam();
    start();
    Bytes sent;
    for (std::size_t i = 0; i < p.waiting; ++i) {
        sent.push_back(static_cast<uint8_t>(i % 200));
    }
    device.write(sent);
    ASSERT_TRUE(eventually([&] { return pump.newData() == p.newDataBefore; }, kDeadline));

    uint8_t buffer[255] = {};
    ASSERT_EQ(p.taken, pump.receive(buffer, p.take));
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + p.taken), Bytes(buffer, buffer + p.taken));

    Bytes rest;
    while (uint8_t n = pump.receive(buffer, 255)) {
        rest.insert(rest.end(), buffer, buffer + n);
    }
    EXPECT_EQ(Bytes(sent.begin() + p.taken, sent.end()), rest);
    EXPECT_EQ(0, pump.newData());
}

INSTANTIATE_TEST_SUITE_P(Amounts, UartReceiveTest,
                         ::testing::Values(Waiting{120, 50, 120, 50}, Waiting{300, 250, 250, 250},
                                           Waiting{10, 50, 10, 10}, Waiting{1, 0, 1, 0}),
                         [](const ::testing::TestParamInfo<Waiting>& p) {
                             return std::to_string(p.param.waiting) + "Waiting" +
                                    std::to_string(p.param.take) + "Asked";
                         });

TEST_F(UartSerialTest, QueuedMessageGoesOutAsOneEscapedFrame) {
    start();
    ORQ::Message m = makeMessage(0x10, 1, 2, 0, {0xFD, 0x20});
    ms.send(&m);
    const Bytes expected{0xFD, 0x03, 0x10, 0x01, 0x02, 0x00, 0xFE, 0x7D, 0x20, 0xCD, 0xFC};
    EXPECT_TRUE(device.waitForSequence(expected, kDeadline));
    EXPECT_TRUE(eventually([&] { return ms.getMessageQueue()->getElementCount() == 0; }, kDeadline));
    EXPECT_EQ(expected, device.received());
}

TEST_F(UartSerialTest, SendNeedsAnOpenPort) {
    uint8_t bytes[] = {0x11, 0x22, 0x33};
    EXPECT_EQ(ORQ::Uart::ERROR_EXCEPTION, pump.send(bytes, 3));
    EXPECT_EQ(1u, out.count("[UartSerial] ERROR in send() not open!"));

    ASSERT_EQ(ORQ::Uart::ERROR_NO, uart.open(device.slavePath().c_str()));
    EXPECT_EQ(ORQ::Uart::ERROR_NO, pump.send(bytes, 3));
    EXPECT_TRUE(device.waitForSequence({0x11, 0x22, 0x33}, kDeadline));
}

TEST_F(UartSerialTest, SendWhileRunningGoesThroughTheDriver) {
    start();
    uint8_t bytes[] = {0x44, 0x55};
    EXPECT_EQ(ORQ::Uart::ERROR_NO, pump.send(bytes, 2));
    EXPECT_TRUE(device.waitForSequence({0x44, 0x55}, kDeadline));
}

TEST_F(UartSerialTest, RepeatedInitAndOpenChangeNothing) {
    start();
    pump.start();
    EXPECT_EQ(1u, out.count("[UartSerial] already running..."));
    EXPECT_EQ(ORQ::Uart::ERROR_NO, uart.open(device.slavePath().c_str()));
    EXPECT_EQ(1u, out.count("[UartSerial] already open!!!"));
    // Still one working driver.
    device.write(smalFrame(54, 7, 1, 0, {0x01}));
    EXPECT_TRUE(eventually([&] { return routed.count() == 1; }, kDeadline));
}

TEST_F(UartSerialTest, DeinitReturnsWhileTheFarEndNeverReads) {
    const std::size_t threadsBefore = threadCount();
    start();
    // Keep the line busy until nothing drains any more: the pty fills, the
    // one frame the driver holds waits for a reader that never comes, and the
    // messages wait in the queue until it refuses new ones.
    const Bytes payload(50, 0x5A);
    ORQ::MessageQueue* queue = ms.getMessageQueue();
    for (int round = 0; round < 2000 && queue->getErrorCount() == 0; ++round) {
        ORQ::Message m = makeMessage(40, 1, 2, 0, payload, 0, 0, false);  // never merged
        ms.send(&m);
        if (round % 60 == 59) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GT(queue->getErrorCount(), 0);
    EXPECT_TRUE(eventually([&] { return device.unreadBytes() > 0; }, kDeadline));
    // Held back, not dropped: no frame was thrown away for want of room.
    EXPECT_EQ(0u, out.count("[UartSerial] ERROR in workerSend()"));

    EXPECT_TRUE(finishesWithin([&] { pump.stop(); }, kDeadline));
    EXPECT_EQ(1u, out.count("[UartSerial] deinit(): OK"));
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore; }, kDeadline));
}

TEST_F(UartSerialTest, DriverThatNeverOpenedStopsWithoutJoinLines) {
    ORQ::UartSerial missing("/nonexistent/orq/ttyS9");
    ORQ::Pump missingPump(missing, ms, mm, ORQ::Pump::Clock::none);
    const std::size_t before = out.lines().size();
    missingPump.start();
    EXPECT_EQ(0, missing.getIsOpen());
    EXPECT_EQ(nullptr, missing.getWorkerRecvThread());
    missingPump.stop();
    EXPECT_EQ((std::vector<std::string>{"[UartSerial] open \"/nonexistent/orq/ttyS9\"", "[UartSerial] error while open",
                                        "[UartSerial] reason: No such file or directory", "[UartSerial] deinit()",
                                        "[UartSerial] deinit(): OK"}),
              out.linesFrom(before));
}

// --- The receive path allocates nothing once a board is mirrored --------------

// Counts what the manager routes, without allocating.
class RouteCounter : public ORQ::MessageDebugger {
public:
    void procMessage(ORQ::Message*, ORQ::MessageSystem*) override { ++routed; }
    unsigned routed = 0;
};

struct ReadPattern {
    const char* name;
    std::size_t framesPerRead;  // reports handed over in one read
    std::size_t splitAt;        // 0, or: each read ends this many bytes into the next frame
};

class ReceiveAllocationTest : public ::testing::TestWithParam<ReadPattern> {};

TEST_P(ReceiveAllocationTest, RoutingReportsOfAMirroredBoardAllocatesNothing) {
    const ReadPattern p = GetParam();
    const uint8_t hostID = 255, boardID = 5;
    const uint8_t accType = 6, typeReply = 4, flightBoard = 1;
    StdoutCapture out;
    ORQ::MessageManager mm;
    ORQ::MessageSystem ms;
    ORQ::UartSerial link("");  // never opened: the test is its I/O thread
    ORQ::Pump pump(link, ms, mm, ORQ::Pump::Clock::none);
    RouteCounter counter;
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
    mm.addMessageSystem(&ms);
    mm.setMyID(hostID);
    mm.setMessageDebugger(&counter);
    auto read = [&](const Bytes& b) { pump.procReceivedBytes(b.data(), b.size()); };
    read(smalFrame(accType, boardID, hostID, 0, {1, 0, 2, 0, 3, 0}));  // placeholder
    read(smalFrame(typeReply, boardID, hostID, 0, {flightBoard}));     // typed model
    mm.run(10);                                                        // placeholder gone

    Bytes stream;
    const unsigned reports = 240;
    for (unsigned i = 0; i < reports; ++i) {
        const Bytes f = smalFrame(accType, boardID, hostID, 0, {static_cast<uint8_t>(i), 0xFD, 2, 0, 3, 0});
        stream.insert(stream.end(), f.begin(), f.end());
    }
    const std::size_t frameSize = smalFrame(accType, boardID, hostID, 0, {0, 0xFD, 2, 0, 3, 0}).size();
    std::vector<Bytes> reads;
    const std::size_t readSize = frameSize * p.framesPerRead;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t first = reads.empty() ? p.splitAt : 0;
        const std::size_t n = std::min(stream.size() - at, readSize + first);
        reads.emplace_back(stream.begin() + at, stream.begin() + at + n);
        at += n;
    }
    const unsigned before = counter.routed;
    countingAllocations = true;
    allocations = 0;
    for (const Bytes& r : reads) read(r);
    countingAllocations = false;
    EXPECT_EQ(reports, counter.routed - before);
    EXPECT_EQ(0u, allocations.load());
}

INSTANTIATE_TEST_SUITE_P(Reads, ReceiveAllocationTest,
                         ::testing::Values(ReadPattern{"OneFramePerRead", 1, 0},
                                           ReadPattern{"FramesSplitAcrossReads", 1, 5},
                                           ReadPattern{"ManyFramesPerRead", 16, 0}),
                         [](const ::testing::TestParamInfo<ReadPattern>& p) { return p.param.name; });

}  // namespace
