// Diagnostic lines when standard output cannot keep up: a caller never waits
// for it, lines that do not fit are dropped and counted, order is kept, and a
// line the link's traffic repeats at a high rate is summarised.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "host/Dll.h"
#include "HostLibrary.h"
#include "log/LogLine.h"
#include "log/LogSink.h"
#include "ProcessProbe.h"
#include "Simulator.h"
#include "StdoutCapture.h"

namespace {

using namespace std::chrono_literals;

// fd 1 is the write end of a pipe that nobody reads until drain() starts a
// reader; the destructor gives fd 1 back.
class BlockedStdout {
public:
    // `full`: the pipe is filled first, so that the first write would wait.
    explicit BlockedStdout(bool full = false) {
        std::fflush(stdout);
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        if (full) {
            // Non-blocking only while filling: fd 1 shares the flags.
            const int flags = fcntl(fds[1], F_GETFL);
            fcntl(fds[1], F_SETFL, flags | O_NONBLOCK);
            const char block[4096] = {};
            while (::write(fds[1], block, sizeof block) > 0) {
            }
            fcntl(fds[1], F_SETFL, flags);
        }
        saved = dup(1);
        dup2(fds[1], 1);
    }
    ~BlockedStdout() {
        if (reader.joinable()) finish();
        ::close(fds[0]);
    }
    void drain() {
        reader = std::thread([this] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
        });
    }
    // Gives fd 1 back and returns everything that reached the pipe.
    std::string finish() {
        dup2(saved, 1);
        ::close(saved);
        ::close(fds[1]);
        reader.join();
        return text;
    }

private:
    int fds[2];
    int saved;
    std::thread reader;
    std::string text;
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(LogSink, ABlockedStdoutNeverStopsTheCallerAndTheDroppedLinesAreCounted) {
    const int total = 20000;
    BlockedStdout out;
    auto logging = std::async(std::launch::async, [] {
        for (int i = 0; i < total; ++i) ORQ::logLine("[Test] line ", i, " of a stalled output");
    });
    const bool returned = logging.wait_for(20s) == std::future_status::ready;
    out.drain();  // lets a caller that did block go on, so the test can end
    logging.wait();
    EXPECT_TRUE(returned) << "logging waited for a blocked stdout";

    ORQ::LogSink::instance().flush(10s);
    ORQ::logLine("[Test] after");  // output keeps up again: written
    ORQ::LogSink::instance().flush(10s);
    const std::vector<std::string> lines = splitLines(out.finish());

    // Lines in order, each whole; the dropped ones counted once output could
    // take lines again, in their place.
    int next = 0, written = 0;
    unsigned long long dropped = 0;
    for (const std::string& line : lines) {
        int n = -1;
        unsigned long long d = 0;
        if (std::sscanf(line.c_str(), "[Test] line %d of a stalled output", &n) == 1) {
            EXPECT_GE(n, next) << line;
            next = n + 1;
            ++written;
        } else if (std::sscanf(line.c_str(), "[Log] %llu lines dropped", &d) == 1) {
            dropped += d;
        } else {
            EXPECT_EQ(line, "[Test] after");
        }
    }
    EXPECT_EQ("[Test] after", lines.back());
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(static_cast<unsigned long long>(total), written + dropped);
    std::cout << "[log] full pipe: " << total << " lines, " << written << " written, " << dropped << " dropped"
              << std::endl;
}

TEST(LogSink, AFrequentLineIsWrittenAFewTimesASecondWithTheRestCounted) {
    ORQ::test::StdoutCapture capture;
    const int total = 1000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < total; ++i) ORQ::logFrequentLine("[Test] damaged frame");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);

    // The copies held back are written as one line once their second is over.
    ASSERT_TRUE(capture.waitForLine("[Test] damaged frame", 10s, 1));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    size_t copies = 0;
    unsigned long long more = 0;
    while (copies + more < static_cast<size_t>(total) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        copies = 0;
        more = 0;
        for (const std::string& line : capture.lines()) {
            unsigned long long n = 0;
            if (line == "[Test] damaged frame") ++copies;
            if (std::sscanf(line.c_str(), "[Test] damaged frame (%llu more)", &n) == 1) more += n;
        }
    }
    EXPECT_EQ(static_cast<size_t>(total), copies + more);
    EXPECT_LE(copies, 3 * static_cast<size_t>(seconds.count() + 1));  // 3 a second
    std::cout << "[log] frequent line: " << total << " copies, " << copies << " written, " << more
              << " counted as more" << std::endl;
    // Other lines are all written.
    for (int i = 0; i < 10; ++i) ORQ::logLine("[Test] host call");
    EXPECT_EQ(10u, capture.count("[Test] host call"));
}

// Each call timed on its own, with fd 1 a full pipe: the first line finds
// nothing waiting before it and looks at fd 1 itself, the next ones queue
// behind it, the last ones find the buffer full and are dropped. None may
// wait for fd 1. A round's slowest call may still be one the machine
// preempted, so the check is on the quickest round's slowest call.
TEST(LogSink, NoSingleCallWaitsForAFullStdout) {
    const int rounds = 5;
    const int lines = 3000;  // more than the buffer holds
    std::chrono::nanoseconds quickestSlowest = std::chrono::hours(1);
    for (int round = 0; round < rounds; ++round) {
        ORQ::LogSink::instance().flush(10s);  // nothing waits before the first line
        BlockedStdout out(true);
        std::chrono::nanoseconds slowest(0);
        for (int i = 0; i < lines; ++i) {
            const auto start = std::chrono::steady_clock::now();
            ORQ::logLine("[Test] line ", i, " of a full output");
            slowest = std::max<std::chrono::nanoseconds>(slowest, std::chrono::steady_clock::now() - start);
        }
        out.drain();
        ORQ::LogSink::instance().flush(10s);
        out.finish();
        quickestSlowest = std::min(quickestSlowest, slowest);
    }
    // A sanitizer slows a call, never to the 50 ms of a wait for fd 1.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const long limitUs = 25000;
#else
    const long limitUs = 5000;
#endif
    EXPECT_LT(std::chrono::duration_cast<std::chrono::microseconds>(quickestSlowest).count(), limitUs)
        << "a call waited for the full output (microseconds)";
}

// The host's view: liborq.so on a noisy line whose damaged frames each log a
// line, with standard output a full pipe nobody reads. Routing goes on and
// deinit returns.
TEST(LogSinkHost, AFullStdoutStopsNeitherRoutingNorDeinit) {
    ORQ::test::HostLibrary& lib = ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY);
    ORQSim::Simulator::Options options;
    options.rate = 5;
    options.noise = 0.3;
    options.seed = 3;
    ORQSim::Simulator sim(options);
    ASSERT_TRUE(sim.openPty());
    ASSERT_TRUE(sim.addDevice(5, ORQSim::SimDevice::FlightBoard));
    ASSERT_TRUE(sim.start());

    BlockedStdout out(true);
    std::atomic<bool> typed{false}, routing{false};
    auto host = std::async(std::launch::async, [&] {
        if (lib.callInit(1, 0, sim.path().c_str()) != ERROR_NO) return -1;
        typed = ORQ::test::eventually(
            [&] {
                int type = 0;
                return lib.getData(5, 30, &type, 0) == ERROR_NO && type == 1;
            },
            std::chrono::seconds(20));
        // Frames keep being taken while the output stays blocked.
        int before = 0, after = 0;
        lib.getData(1, 46, &before, 0);
        routing = ORQ::test::eventually(
            [&] { return lib.getData(1, 46, &after, 0) == ERROR_NO && uint16_t(after - before) > 200; },
            std::chrono::seconds(20));
        return lib.deinit();
    });
    const bool returned = host.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    out.drain();  // lets a host that did block go on, so the test can end
    const int result = host.get();
    out.finish();
    EXPECT_TRUE(returned) << "the host was blocked by its standard output";
    EXPECT_EQ(ERROR_NO, result);
    EXPECT_TRUE(typed);
    EXPECT_TRUE(routing);
}

}  // namespace
