// Start and stop of liborq.so through its exported functions, with a
// pseudo-terminal playing the remote device on the serial line (and, where
// the far end is gone again at once, a TCP server and a replayed capture).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <ostream>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "capture/CaptureWriter.h"
#include "DeviceFrames.h"
#include "HostLibrary.h"
#include "LoopbackAddress.h"
#include "ProcessProbe.h"
#include "Pty.h"
#include "SerialPlug.h"
#include "StdoutCapture.h"

using namespace ORQ::test;
using Lines = std::vector<std::string>;

namespace {

const std::chrono::milliseconds kDeadline(20000);
const int kTabletID = 257;  // own ID 1: only the low 8 bits count
const uint8_t kOwnID = 1;

// A heartbeat (data type 54, one byte) from device 7 to the library.
const Bytes kHeartbeatFrom7{0xFD, 0x03, 0x36, 0x07, 0x01, 0x00, 0x01, 0x32, 0xFC};
// The library's type request (data type 3, no payload) to device 7.
const Bytes kTypeRequestTo7{0xFD, 0x03, 0x03, 0x01, 0x07, 0x00, 0x06, 0xFC};

Bytes heartbeatFrom(uint8_t id) {
    return smalFrame(54, id, kOwnID, 0, {1});
}

Bytes typeRequestTo(uint8_t id) {
    return smalFrame(3, kOwnID, id, 0);
}

std::string openLine(const std::string& dev) {
    return "[UartSerial] open \"" + dev + "\"";
}

// The lines of deinit on a running library, in order.
const Lines kStopLines{
    "[DLL] deinit()",
    "[UartSerial] deinit()",
    "[UartSerial] deinit(): join SendThread...",
    "[UartSerial] deinit(): joined!",
    "[UartSerial] deinit(): join RecvThread...",
    "[UartSerial] ERROR in workerRecv()",
    "[UartSerial] deinit(): joined!",
    "[UartSerial] deinit(): OK",
    "[DLL] deinit() join workerThread...",
    "[DLL] deinit() joined!",
    "[DLL] deinit() OK",
};

// deinit when the driver has no threads (never started, or its start failed).
const Lines kStopLinesWithoutThreads{
    "[DLL] deinit()",
    "[UartSerial] deinit()",
    "[UartSerial] deinit(): OK",
    "[DLL] deinit() OK",
};

// Index of the first line equal to `line` at or after `from`, or lines.size().
std::size_t find(const Lines& lines, const std::string& line, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i] == line) {
            return i;
        }
    }
    return lines.size();
}

class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest() : lib(HostLibrary::load(ORQ_SHARED_LIBRARY)) {}
    // Whatever a test left running is stopped before the next one.
    void TearDown() override { lib.deinit(); }

    HostLibrary& lib;
};

// --- A library that has not been started in this process --------------------

TEST_F(LifecycleTest, DeinitWithoutInitWritesOnlyItsOwnTwoLines) {
    if (lib.started()) {
        GTEST_SKIP() << "needs a process in which the library was never started";
    }
    StdoutCapture out;
    EXPECT_EQ(0, lib.deinit());
    EXPECT_EQ((Lines{"[DLL] deinit()", "[DLL] deinit() OK"}), out.lines());
}

TEST_F(LifecycleTest, ReadBracketsReturnZeroInEveryState) {
    EXPECT_EQ(0, lib.readBegin());
    EXPECT_EQ(0, lib.readEnd());
    Pty device;
    {
        StdoutCapture out;
        ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    }
    EXPECT_EQ(0, lib.readBegin());
    EXPECT_EQ(0, lib.readEnd());
    StdoutCapture out;
    lib.deinit();
    EXPECT_EQ(0, lib.readBegin());
    EXPECT_EQ(0, lib.readEnd());
}

// --- Devices that cannot be opened -----------------------------------------

struct Unopenable {
    const char* label;
    std::string dev;  // empty with isNull: a null name
    bool isNull;
    const char* failureLine;
    const char* reasonLine;
};

std::string longMissingName() {
    return "/nonexistent/" + std::string(300, 'x') + "/ttyUSB0";
}

class UnopenableDeviceTest : public LifecycleTest, public ::testing::WithParamInterface<Unopenable> {};

TEST_P(UnopenableDeviceTest, InitFailsWithoutStartingAnythingAndDeinitStillWorks) {
    const Unopenable& p = GetParam();
    const char* dev = p.isNull ? nullptr : p.dev.c_str();
    void* workerBefore = nullptr;
    void* uartBefore = nullptr;
    lib.getThreadID(&workerBefore, &uartBefore);
    const bool fresh = !lib.started();
    const std::size_t threadsBefore = threadCount();

    StdoutCapture out;
    EXPECT_EQ(-68, lib.callInit(kTabletID, 0, dev));
    EXPECT_EQ((Lines{openLine(p.dev), p.failureLine, p.reasonLine, "[DLL] error init uart, shutdown!!!",
                     "[UartSerial] deinit()", "[UartSerial] deinit(): OK"}),
              out.lines());
    EXPECT_EQ(threadsBefore, threadCount());

    // A failed start leaves the handles of an earlier start, or null.
    void* worker = &worker;
    void* uart = &uart;
    EXPECT_EQ(0, lib.getThreadID(&worker, &uart));
    EXPECT_EQ(workerBefore, worker);
    EXPECT_EQ(uartBefore, uart);
    if (fresh) {
        EXPECT_EQ(nullptr, worker);
        EXPECT_EQ(nullptr, uart);
    }

    const std::size_t before = out.lines().size();
    EXPECT_EQ(0, lib.deinit());
    EXPECT_EQ(kStopLinesWithoutThreads, out.linesFrom(before));
}

INSTANTIATE_TEST_SUITE_P(
    Devices, UnopenableDeviceTest,
    ::testing::Values(Unopenable{"Missing", "/nonexistent/orq/ttyUSB0", false, "[UartSerial] error while open",
                                 "[UartSerial] reason: No such file or directory"},
                      Unopenable{"Null", "", true, "[UartSerial] error while open",
                                 "[UartSerial] reason: No such file or directory"},
                      Unopenable{"Empty", "", false, "[UartSerial] error while open",
                                 "[UartSerial] reason: No such file or directory"},
                      Unopenable{"LongMissing", longMissingName(), false, "[UartSerial] error while open",
                                 "[UartSerial] reason: No such file or directory"},
                      Unopenable{"NotATerminal", "/dev/null", false, "[UartSerial] error while open",
                                 "[UartSerial] reason: Inappropriate ioctl for device"}),
    [](const ::testing::TestParamInfo<Unopenable>& p) { return std::string(p.param.label); });

// --- Running ------------------------------------------------------------------

TEST_F(LifecycleTest, StartAndStopWriteTheirLinesInOrder) {
    Pty device;
    const std::size_t threadsBefore = threadCount();
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    EXPECT_EQ((Lines{openLine(device.slavePath())}), out.lines());
    // The main loop and the driver's I/O thread, which also frames what is sent.
    EXPECT_EQ(threadsBefore + 2, threadCount());

    void* worker = nullptr;
    void* uart = nullptr;
    EXPECT_EQ(0, lib.getThreadID(&worker, &uart));
    EXPECT_NE(nullptr, worker);
    EXPECT_NE(nullptr, uart);
    EXPECT_NE(worker, uart);

    const std::size_t before = out.lines().size();
    EXPECT_EQ(0, lib.deinit());
    EXPECT_EQ(kStopLines, out.linesFrom(before));
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore; }, kDeadline));
}

TEST_F(LifecycleTest, NewSenderGetsPlaceholderAndTypeRequestFromOwnID) {
    Pty device;
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    ASSERT_EQ(kHeartbeatFrom7, heartbeatFrom(7));
    ASSERT_EQ(kTypeRequestTo7, typeRequestTo(7));

    device.write(kHeartbeatFrom7);
    EXPECT_TRUE(out.waitForLine("[MessageManager] autoAdd id 7", kDeadline));
    EXPECT_TRUE(device.waitForSequence(kTypeRequestTo7, kDeadline));
    EXPECT_EQ(1u, out.count("[MessageManager] autoAdd id 7"));
}

TEST_F(LifecycleTest, LongDeviceNameIsOpenedWhole) {
    SerialPlug plug;
    Pty& device = plug.plug();
    const std::string longName = plug.path() + "-" + std::string(150, 'n');
    ASSERT_EQ(0, ::symlink(device.slavePath().c_str(), longName.c_str()));

    StdoutCapture out;
    EXPECT_EQ(0, lib.callInit(kTabletID, 0, longName.c_str()));
    EXPECT_EQ(1u, out.count(openLine(longName)));
    device.write(heartbeatFrom(12));
    EXPECT_TRUE(out.waitForLine("[MessageManager] autoAdd id 12", kDeadline));
    lib.deinit();
    ::unlink(longName.c_str());
}

TEST_F(LifecycleTest, UnpluggedDeviceIsReopenedAndFramesFlowAgain) {
    SerialPlug plug;
    plug.plug();
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, plug.path().c_str()));
    plug.device().write(heartbeatFrom(7));
    ASSERT_TRUE(plug.device().waitForSequence(typeRequestTo(7), kDeadline));

    const std::size_t beforeUnplug = out.lines().size();
    plug.unplug();
    // Several failed attempts: the device stays away through the first waits.
    ASSERT_TRUE(out.waitForLine("[UartSerial] error while open", kDeadline, 3));
    Pty& device = plug.plug();
    ASSERT_TRUE(out.waitForLine("[UartSerial] WARNING reopen() OK", kDeadline));

    const Lines lines = out.linesFrom(beforeUnplug);
    const std::size_t error = find(lines, "[UartSerial] ERROR in workerRecv()");
    ASSERT_LT(error + 3, lines.size());
    EXPECT_EQ((Lines{"", "[UartSerial] WARNING reopen()", ""}), Lines(&lines[error + 1], &lines[error + 4]));
    const std::size_t firstAttempt = find(lines, openLine(plug.path()), error);
    ASSERT_LT(firstAttempt + 1, lines.size());
    EXPECT_EQ("[UartSerial] error while open", lines[firstAttempt + 1]);
    const std::size_t reopened = find(lines, "[UartSerial] 1", firstAttempt);
    ASSERT_LT(reopened + 2, lines.size());
    EXPECT_EQ(openLine(plug.path()), lines[reopened - 2]);
    EXPECT_EQ("", lines[reopened - 1]);
    EXPECT_EQ("[UartSerial] WARNING reopen() OK", lines[reopened + 1]);
    EXPECT_EQ("", lines[reopened + 2]);

    // Both directions work on the new device: the placeholder of 7 still asks
    // for its type, and a new sender is heard and asked.
    EXPECT_TRUE(device.waitForSequence(typeRequestTo(7), kDeadline));
    device.write(heartbeatFrom(9));
    EXPECT_TRUE(out.waitForLine("[MessageManager] autoAdd id 9", kDeadline));
    EXPECT_TRUE(device.waitForSequence(typeRequestTo(9), kDeadline));
}

TEST_F(LifecycleTest, SecondInitWhileRunningStopsTheFirstStart) {
    Pty device;
    const std::size_t threadsBefore = threadCount();
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    void* firstWorker = nullptr;
    void* firstUart = nullptr;
    lib.getThreadID(&firstWorker, &firstUart);

    const std::size_t before = out.lines().size();
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    Lines expected = kStopLines;
    expected.push_back(openLine(device.slavePath()));
    EXPECT_EQ(expected, out.linesFrom(before));
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore + 2; }, kDeadline));

    // Exactly one driver reads the device.
    device.write(heartbeatFrom(7));
    EXPECT_TRUE(device.waitForSequence(typeRequestTo(7), kDeadline));
    EXPECT_EQ(1u, out.count("[MessageManager] autoAdd id 7"));

    lib.deinit();
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore; }, kDeadline));
}

// --- Restarts while host threads make data calls ----------------------------

// Host threads read and set on every device ID while another thread restarts
// the library over and over: every call finishes on the instance it found or
// finds none, and none of them uses an instance a restart has freed.
TEST_F(LifecycleTest, RestartsWhileHostThreadsMakeDataCallsAreSafe) {
    SerialPlug plug;
    plug.plug();
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, plug.path().c_str()));
    std::atomic<bool> stop(false);
    std::atomic<long> calls(0);
    std::vector<std::thread> hosts;
    for (int t = 0; t < 8; ++t) {
        hosts.emplace_back([&, t] {
            int value = 0;
            while (!stop.load()) {
                const int id = 1 + (t + calls.load(std::memory_order_relaxed)) % 8;
                const int result = (t % 2) ? lib.getData(id, 30, &value, 0) : lib.setData(id, 32, 1, 0);
                EXPECT_TRUE(result == 0 || (result <= -61 && result >= -68)) << result;
                calls.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    // Senders the restarts' managers add as placeholders, so that the data
    // calls find components that a restart frees.
    for (int i = 0; i < 40; ++i) {
        for (uint8_t id = 2; id <= 8; ++id) plug.device().write(heartbeatFrom(id));
        ASSERT_EQ(0, lib.callInit(kTabletID, 0, plug.path().c_str()));
        if (i % 4 == 0) lib.deinit();
    }
    stop = true;
    for (std::thread& h : hosts) h.join();
    EXPECT_GT(calls.load(), 0);
}

TEST_F(LifecycleTest, ThreadHandlesAreNullOnceTheThreadsHaveEnded) {
    Pty device;
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    void* worker = nullptr;
    void* uart = nullptr;
    lib.getThreadID(&worker, &uart);
    EXPECT_NE(nullptr, worker);
    EXPECT_NE(nullptr, uart);
    lib.deinit();
    lib.getThreadID(&worker, &uart);
    EXPECT_EQ(nullptr, worker);
    EXPECT_EQ(nullptr, uart);
}

// --- Stopping in every state ------------------------------------------------------

enum class StopState { Idle, AfterTraffic, DeviceMissing };

class DeinitStateTest : public LifecycleTest, public ::testing::WithParamInterface<StopState> {};

TEST_P(DeinitStateTest, DeinitReturnsAndLeavesNoThread) {
    SerialPlug plug;
    plug.plug();
    const std::size_t threadsBefore = threadCount();
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, plug.path().c_str()));
    switch (GetParam()) {
    case StopState::Idle:
        break;
    case StopState::AfterTraffic:
        plug.device().write(heartbeatFrom(7));
        ASSERT_TRUE(plug.device().waitForSequence(typeRequestTo(7), kDeadline));
        break;
    case StopState::DeviceMissing:
        plug.unplug();
        // In the reopen waits, well past the first attempts.
        ASSERT_TRUE(out.waitForLine("[UartSerial] error while open", kDeadline, 4));
        break;
    }

    EXPECT_TRUE(finishesWithin([&] { lib.deinit(); }, kDeadline));
    EXPECT_EQ(1u, out.count("[DLL] deinit() OK"));
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore; }, kDeadline));
}

INSTANTIATE_TEST_SUITE_P(States, DeinitStateTest,
                         ::testing::Values(StopState::Idle, StopState::AfterTraffic, StopState::DeviceMissing),
                         [](const ::testing::TestParamInfo<StopState>& p) {
                             switch (p.param) {
                             case StopState::Idle:
                                 return "Idle";
                             case StopState::AfterTraffic:
                                 return "AfterTraffic";
                             case StopState::DeviceMissing:
                                 return "DeviceMissing";
                             }
                             return "";
                         });

TEST_F(LifecycleTest, RepeatedStartsAndStopsLeaveNoDescriptorOrThread) {
    Pty device;
    StdoutCapture out;
    // The objects of the last start stay until the next init: count with one
    // start's objects in place on both sides.
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    lib.deinit();
    const std::size_t descriptors = openDescriptorCount();
    const std::size_t threads = threadCount();

    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str())) << "start " << i;
        lib.deinit();
    }
    EXPECT_EQ(descriptors, openDescriptorCount());
    EXPECT_TRUE(eventually([&] { return threadCount() == threads; }, kDeadline));
    EXPECT_EQ(101u, out.count("[DLL] deinit() OK"));
}

// --- A far end that is gone again as soon as the link opened ---------------------

// A TCP server on 127.0.0.1 that closes every connection as soon as it has
// accepted it, on a thread of its own, until destroyed.
class AcceptAndClose {
public:
    AcceptAndClose() : listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a = ORQSim::loopbackAddress(0);
        socklen_t size = sizeof a;
        ok = listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
             ::listen(listener, 16) == 0 && ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size) == 0;
        port = ntohs(a.sin_port);
        thread = std::thread([this] {
            pollfd p{listener, POLLIN, 0};
            while (!stop.load()) {
                if (::poll(&p, 1, 20) == 1) {
                    const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                    if (c >= 0) ::close(c);
                }
            }
        });
    }
    ~AcceptAndClose() {
        stop = true;
        thread.join();
        if (listener >= 0) ::close(listener);
    }

    bool ok = false;
    uint16_t port = 0;

private:
    int listener;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// A capture of one received heartbeat, which a replay at speed 0 has handed
// over before init returns, or nearly; removed with this object.
class ShortCapture {
public:
    ShortCapture() : path("/tmp/orq-lifecycle-" + std::to_string(::getpid()) + ".orqcap") {
        std::unique_ptr<ORQ::CaptureWriter> writer = ORQ::CaptureWriter::create(path.c_str());
        ok = writer && writer->start(kOwnID, "test");
        if (ok) {
            writer->record(ORQ::CaptureWriter::RECEIVED, kHeartbeatFrom7.data(), kHeartbeatFrom7.size());
            writer->stop();
        }
    }
    ~ShortCapture() { ::unlink(path.c_str()); }

    bool ok = false;
    const std::string path;
};

// A far end gone again at once, and how many starts on it show that init
// reports what the open did (the replay ends before init has looked at the
// link in only about one start of 200).
struct GoneFarEnd {
    const char* label;
    bool tcp;  // else a short capture replayed at speed 0
    int starts;
};

void PrintTo(const GoneFarEnd& p, std::ostream* os) {
    *os << p.label;
}

class GoneFarEndTest : public LifecycleTest, public ::testing::WithParamInterface<GoneFarEnd> {};

// A link that opened is a start, even when its far end is gone again before
// init returns: the TCP link then waits to reconnect, the replay has reached
// its end.
TEST_P(GoneFarEndTest, InitOfALinkThatOpenedSucceedsWhateverFollows) {
    AcceptAndClose server;
    ShortCapture capture;
    ASSERT_TRUE(server.ok);
    ASSERT_TRUE(capture.ok);
    const std::string connection = GetParam().tcp ? "tcp://127.0.0.1:" + std::to_string(server.port)
                                                  : "replay://" + capture.path + "?speed=0";
    std::vector<int> failed;
    StdoutCapture out;
    for (int i = 0; i < GetParam().starts; ++i) {
        if (lib.callInit(kTabletID, 0, connection.c_str()) != 0) failed.push_back(i);
        lib.deinit();
    }
    EXPECT_EQ(0u, failed.size()) << "the first failed start: " << (failed.empty() ? -1 : failed.front());
    EXPECT_EQ(0u, out.count("[DLL] error init uart, shutdown!!!"));
}

INSTANTIATE_TEST_SUITE_P(Links, GoneFarEndTest,
                         ::testing::Values(GoneFarEnd{"TcpAcceptAndClose", true, 200},
                                           GoneFarEnd{"ShortReplay", false, 1000}),
                         [](const ::testing::TestParamInfo<GoneFarEnd>& p) { return std::string(p.param.label); });

}  // namespace
