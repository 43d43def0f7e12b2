// The main loop of liborq.so as a host runs it, with a pseudo-terminal
// playing a device: it ticks when something is due or a new node appears,
// and sleeps in between instead of waking every 10 ms.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <fstream>
#include <string>

#include "DeviceFrames.h"
#include "HostLibrary.h"
#include "ProcessProbe.h"
#include "Pty.h"
#include "StdoutCapture.h"

using namespace ORQ::test;

namespace {

const std::chrono::milliseconds kDeadline(20000);
const int kTabletID = 1;
const uint8_t kOwnID = 1;
const uint8_t kNodeID = 7;

// The kernel thread ID of a running thread, from its CPU clock (Linux
// encodes a thread's CPU clock as the bit-inverted ID shifted by 3); -1 when
// that does not lead to a task of this process.
pid_t kernelThreadID(void* handle) {
    clockid_t clock;
    if (pthread_getcpuclockid(reinterpret_cast<pthread_t>(handle), &clock) != 0) return -1;
    const pid_t tid = static_cast<pid_t>(~(clock >> 3));
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    return status ? tid : -1;
}

// How often the thread has gone to sleep of its own accord so far.
long voluntarySwitches(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "voluntary_ctxt_switches:") {
            long count = -1;
            status >> count;
            return count;
        }
    }
    return -1;
}

class MainLoop : public ::testing::Test {
protected:
    MainLoop() : lib(HostLibrary::load(ORQ_SHARED_LIBRARY)) {}
    void TearDown() override {
        StdoutCapture quiet;
        lib.deinit();
    }

    bool listed(int id, int type) {
        int ids[8], types[8], size = 8;
        if (lib.getComponents(ids, types, &size) != 0) return false;
        for (int i = 0; i < size; ++i) {
            if (ids[i] == id && types[i] == type) return true;
        }
        return false;
    }

    HostLibrary& lib;
};

TEST_F(MainLoop, ANewNodeIsAskedASecondAfterItAppearsAndATypedNodeLetsTheLoopSleep) {
    Pty device;
    StdoutCapture out;
    ASSERT_EQ(0, lib.callInit(kTabletID, 0, device.slavePath().c_str()));
    void* worker = nullptr;
    void* uart = nullptr;
    lib.getThreadID(&worker, &uart);
    const pid_t loop = kernelThreadID(worker);
    if (loop < 0) GTEST_SKIP() << "main-loop thread not found under /proc/self/task";

    // The new node wakes the loop; its request still waits a full second
    // from the node's appearance, not from the tick before it.
    const auto heard = std::chrono::steady_clock::now();
    device.write(smalFrame(54, kNodeID, kOwnID, 0, {1}));
    ASSERT_TRUE(device.waitForSequence(smalFrame(3, kOwnID, kNodeID, 0), kDeadline));
    EXPECT_GE(std::chrono::steady_clock::now() - heard, std::chrono::milliseconds(990));

    device.write(smalFrame(4, kNodeID, kOwnID, 0, {1}));
    ASSERT_TRUE(eventually([&] { return listed(kNodeID, 1); }, kDeadline));

    // Nothing is due for minutes: the loop sleeps. A loop waking every 10 ms
    // would go to sleep about 200 times in these 2 s.
    const long before = voluntarySwitches(loop);
    ASSERT_GE(before, 0);
    struct timespec pause = {2, 0};
    while (nanosleep(&pause, &pause) != 0) {
    }
    EXPECT_LE(voluntarySwitches(loop) - before, 20);
}

}  // namespace
