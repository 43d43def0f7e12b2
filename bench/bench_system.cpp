// Figures of the whole library as a host runs it (liborq.so, its threads, a
// pseudo-terminal as the serial line), each beside a baseline measured in the
// same run where it has one: CPU per report under a flood from a writer
// process (beside a bare reader of the same pty), setData to the wire (beside
// a direct write), idle CPU with 1 and 254 boards (beside a bare 10 ms
// sleeper), memory per mirrored flight board, receive latency and the time
// deinit takes. The program plays the device side on the pty master; the
// library's own lines go to /dev/null.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <string>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BenchSupport.h"
#include "Dll.h"
#include "LoopbackAddress.h"

namespace {

using bench::Bytes;
using Clock = std::chrono::steady_clock;

const int hostID = 255;
const int boardID = 5;
const int accXID = 3;      // host data ID of acc[0].x
const int gpsModeID = 32;  // settable: 0 to 2, sent at once
const uint8_t gpsModeSet = ORQ::DataType::gpsMode.set;
const int statReceived = 46;
const int statErrors = 45;

double ns(Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

double cpuSeconds(int who) {
    rusage u;
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
// CPU time of the whole process: the library's threads, and the benchmark's,
// which sleep or wait while it counts.
double cpuSeconds() { return cpuSeconds(RUSAGE_SELF); }
// CPU time of the calling thread.
double threadCpuSeconds() { return cpuSeconds(RUSAGE_THREAD); }

long rssKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atol(line + 6);
    }
    std::fclose(f);
    return kib;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[k];
}

// The device end of the link: a raw, non-blocking pty master, or the far end
// of a loopback TCP connection (a server the library connects to) or of a
// UDP link (a socket that sends to where the library listens). A reader
// thread takes everything the library sends and notes when each frame's end
// byte became readable.
class DeviceSide {
public:
    enum Kind { Pty, Tcp, Udp };

    explicit DeviceSide(Kind kind = Pty) {
        if (pipe(stopPipe) != 0) throw std::runtime_error("no pipe");
        if (kind == Pty) {
            master = posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("no pty");
            slave = ptsname(master);
            termios tio;
            tcgetattr(master, &tio);
            cfmakeraw(&tio);
            tcsetattr(master, TCSANOW, &tio);
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
            reader = std::make_unique<std::thread>([this] { readLoop(); });
            return;
        }
        const int s = socket(AF_INET, (kind == Tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
        sockaddr_in a = ORQSim::loopbackAddress(0);
        socklen_t size = sizeof a;
        if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("no socket");
        if (kind == Tcp) {
            if (listen(s, 1) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
                throw std::runtime_error("cannot listen");
            }
            listener = s;
            slave = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
            return;
        }
        // The library's UDP port: a free one, taken from a socket bound to 0.
        const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in p = ORQSim::loopbackAddress(0);
        size = sizeof p;
        if (probe < 0 || bind(probe, reinterpret_cast<sockaddr*>(&p), sizeof p) != 0 ||
            getsockname(probe, reinterpret_cast<sockaddr*>(&p), &size) != 0) {
            throw std::runtime_error("no free UDP port");
        }
        ::close(probe);
        if (connect(s, reinterpret_cast<sockaddr*>(&p), sizeof p) != 0) throw std::runtime_error("no UDP peer");
        master = s;
        slave = "udpin://127.0.0.1:" + std::to_string(ntohs(p.sin_port));
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        reader = std::make_unique<std::thread>([this] { readLoop(); });
    }

    // TCP: takes the library's connection once init has made it.
    bool accept() {
        if (listener < 0) return true;
        master = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        const int on = 1;
        setsockopt(master, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (master >= 0) reader = std::make_unique<std::thread>([this] { readLoop(); });
        return master >= 0;
    }

    ~DeviceSide() {
        const char b = 0;
        (void)!::write(stopPipe[1], &b, 1);
        if (reader) reader->join();
        ::close(master);
        if (listener >= 0) ::close(listener);
    }

    void write(const Bytes& bytes) { writeAll(master, bytes.data(), bytes.size()); }

    // Writes everything, waiting while the line is full; safe in a forked child.
    static void writeAll(int fd, const uint8_t* p, size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd, p, n);
            if (w > 0) {
                p += w;
                n -= static_cast<size_t>(w);
            } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            } else {
                pollfd pf{fd, POLLOUT, 0};
                poll(&pf, 1, 100);
            }
        }
    }

    int master = -1;
    int listener = -1;
    std::string slave;  // the connection string init takes
    std::atomic<uint64_t> frameEnds{0};
    std::atomic<int64_t> lastFrameEndNs{0};

private:
    void readLoop() {
        uint8_t buf[4096];
        for (;;) {
            pollfd pf[2] = {{master, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
            poll(pf, 2, -1);
            if (pf[1].revents) return;
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) {
                // No slave open (the library is stopped): the master reports
                // a hang-up until the next start opens it again.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const int64_t now = Clock::now().time_since_epoch().count();
            uint64_t ends = 0;
            for (ssize_t i = 0; i < n; ++i) ends += buf[i] == 0xFC;
            if (ends) {
                lastFrameEndNs = now;
                frameEnds += ends;
            }
        }
    }

    int stopPipe[2] = {-1, -1};
    std::unique_ptr<std::thread> reader;
};

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

bool boardMirrored(int id) {
    int v = 0;
    return getData(id, accXID, &v, 0) == ERROR_NO;
}

// A new flight board: its first report creates the placeholder, its type
// reply the mirrored model.
bool addBoard(DeviceSide& line, int id) {
    line.write(bench::accFrame(static_cast<uint8_t>(id), hostID, 1, 2, 3));
    line.write(bench::flightBoardReply(static_cast<uint8_t>(id), hostID));
    return waitUntil([id] { return boardMirrored(id); }, std::chrono::seconds(5));
}

int linkStat(int dataID) {
    int v = 0;
    getData(hostID, dataID, &v, 0);
    return v;
}

// From the writer's last byte of a report to getData seeing its value (a goal
// of the first round).
// `over` names the link in the figures ("" for the pty).
void receiveLatency(std::FILE* out, DeviceSide& line, const std::string& over) {
    std::vector<double> samples;
    std::mt19937 rng(7);
    for (unsigned i = 0; i < 2000; ++i) {
        const int16_t x = bench::distinctX(i + 1);
        const Bytes f = bench::accFrame(boardID, hostID, x, 0, 0);
        // Taken before the write: the library may well have the value before
        // the writer is back from write().
        const auto t0 = Clock::now();
        line.write(f);
        int v = -1;
        bool seen = false;
        while (Clock::now() - t0 < std::chrono::seconds(1)) {
            if (getData(boardID, accXID, &v, 0) == ERROR_NO && v == x) {
                seen = true;
                break;
            }
        }
        const auto t1 = Clock::now();
        if (seen) samples.push_back(ns(t1 - t0) / 1000);
        std::this_thread::sleep_for(std::chrono::microseconds(100 + rng() % 400));
    }
    std::fprintf(out, "receive latency%s: %zu of 2000 reports seen\n", over.c_str(), samples.size());
    bench::figure(out, "r1", "receive latency p50 (write -> getData)" + over, percentile(samples, 0.5), "us", 50,
                  true);
    bench::figure(out, "r1", "receive latency p99 (write -> getData)" + over, percentile(samples, 0.99), "us", 200,
                  true);
}

// Time from t0 until a frame's end byte became readable on the device side
// (us), or -1 when none came within a second.
double untilFrameEnd(DeviceSide& line, uint64_t before, Clock::time_point t0) {
    while (line.frameEnds.load() == before && Clock::now() - t0 < std::chrono::seconds(1)) {
    }
    if (line.frameEnds.load() == before) return -1;
    const Clock::time_point t1{Clock::duration(line.lastFrameEndNs.load())};
    return ns(t1 - t0) / 1000;
}

// Goal 5: setData to the frame's last byte readable on the device side,
// beside the same frame written directly to the port by the host's thread
// (a second descriptor on the pty), the two taken in turns.
void sendLatency(std::FILE* out, DeviceSide& line, const std::string& over) {
    const int direct = line.slave.rfind("/dev/", 0) == 0 ? ::open(line.slave.c_str(), O_WRONLY | O_NOCTTY) : -1;
    std::vector<double> samples;
    std::vector<double> directSamples;
    std::mt19937 rng(11);
    for (unsigned i = 0; i < 1000; ++i) {
        const int mode = static_cast<int>(i % 3);
        uint64_t before = line.frameEnds.load();
        auto t0 = Clock::now();
        if (setData(boardID, gpsModeID, mode, 0) == ERROR_NO) {
            const double us = untilFrameEnd(line, before, t0);
            if (us >= 0) samples.push_back(us);
        }
        // Uniformly placed against any periodic work of the library.
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
        if (direct < 0) continue;
        const uint8_t m = static_cast<uint8_t>(mode);
        const Bytes f = bench::frame(gpsModeSet, hostID, boardID, 0, &m, 1);
        before = line.frameEnds.load();
        t0 = Clock::now();
        DeviceSide::writeAll(direct, f.data(), f.size());
        const double us = untilFrameEnd(line, before, t0);
        if (us >= 0) directSamples.push_back(us);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
    }
    if (direct >= 0) ::close(direct);
    std::fprintf(out, "send latency%s: %zu of 1000 frames seen, %zu of %s direct writes\n", over.c_str(),
                 samples.size(), directSamples.size(), direct >= 0 ? "1000" : "0");
    const double p50 = percentile(samples, 0.5);
    const double p99 = percentile(samples, 0.99);
    if (direct < 0) {
        // Over a network link there is no second way in to compare with.
        bench::info(out, "5", "setData -> last byte readable, p50" + over, p50, "us");
        bench::info(out, "5", "setData -> last byte readable, p99" + over, p99, "us");
        return;
    }
    bench::compare(out, "5", "setData -> last byte readable, p50, vs a direct write" + over, p50,
                   percentile(directSamples, 0.5), "us", 1.25);
    bench::compare(out, "5", "setData -> last byte readable, p99, vs a direct write" + over, p99,
                   percentile(directSamples, 0.99), "us", 1.25);
}

// The bytes of `count` acceleration reports of the board; the last carries
// x = floodLastX, which no distinctX value reaches.
const int16_t floodLastX = 32000;
Bytes floodBytes(unsigned count) {
    Bytes all;
    all.reserve(count * 15);
    for (unsigned i = 0; i < count; ++i) {
        const Bytes f = bench::accFrame(boardID, hostID, i + 1 == count ? floodLastX : bench::distinctX(i), 7, -7);
        all.insert(all.end(), f.begin(), f.end());
    }
    return all;
}

// A writer process that writes `all` to the pty master as fast as the line
// takes it, once go() is called.
class FloodWriter {
public:
    FloodWriter(DeviceSide& line, const Bytes& all) {
        if (pipe(start) != 0) return;
        pid = fork();
        if (pid == 0) {
            char b;
            if (::read(start[0], &b, 1) == 1) DeviceSide::writeAll(line.master, all.data(), all.size());
            _exit(0);
        }
    }
    ~FloodWriter() {
        if (pid > 0) waitpid(pid, nullptr, 0);
        ::close(start[0]);
        ::close(start[1]);
    }
    FloodWriter(const FloodWriter&) = delete;
    FloodWriter& operator=(const FloodWriter&) = delete;

    bool started() const { return pid > 0; }
    void go() { (void)!::write(start[1], "g", 1); }

private:
    int start[2] = {-1, -1};
    pid_t pid = -1;
};

const unsigned floodCount = 400000;

// The baseline of goal 4: a bare reader of the same pty (the library not
// started), reading 4 KiB at a time until every byte of the flood is in.
// Returns its CPU time per report in ns, or -1.
double bareReaderCpuPerReport(DeviceSide& line) {
    const int fd = ::open(line.slave.c_str(), O_RDONLY | O_NOCTTY);
    if (fd < 0) return -1;
    termios tio;
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    const Bytes all = floodBytes(floodCount);
    FloodWriter writer(line, all);
    if (!writer.started()) {
        ::close(fd);
        return -1;
    }
    uint8_t buf[4096];
    size_t got = 0;
    const double cpu0 = threadCpuSeconds();
    writer.go();
    while (got < all.size()) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    const double cpu = threadCpuSeconds() - cpu0;
    ::close(fd);
    return got == all.size() ? cpu / floodCount * 1e9 : -1;
}

// Goal 4: a writer process floods reports of one board as fast as the line
// takes them; every report must be mirrored. The library's CPU time per
// report is set beside the bare reader's (`bare`, ns per report).
void flood(std::FILE* out, DeviceSide& line, double bare) {
    const Bytes all = floodBytes(floodCount);
    FloodWriter writer(line, all);
    if (!writer.started()) return;
    uint16_t lastReceived = static_cast<uint16_t>(linkStat(statReceived));
    const int errorsBefore = linkStat(statErrors);
    uint64_t received = 0;
    // The library's threads only: this thread's polling is the benchmark's.
    const double cpu0 = cpuSeconds() - threadCpuSeconds();
    const auto t0 = Clock::now();
    writer.go();
    bool done = false;
    while (!done && Clock::now() - t0 < std::chrono::seconds(60)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        int x = 0;
        done = getData(boardID, accXID, &x, 0) == ERROR_NO && x == floodLastX;
        const uint16_t now = static_cast<uint16_t>(linkStat(statReceived));
        received += static_cast<uint16_t>(now - lastReceived);
        lastReceived = now;
    }
    const auto t1 = Clock::now();
    const double cpu1 = cpuSeconds() - threadCpuSeconds();
    const double seconds = std::chrono::duration<double>(t1 - t0).count();
    const long lost = static_cast<long>(floodCount) - static_cast<long>(received);
    const int errors = static_cast<uint16_t>(linkStat(statErrors) - errorsBefore);
    std::fprintf(out, "flood: %u reports written, %llu counted by the library, %ld lost, %d receive errors, %.2f s\n",
                 floodCount, static_cast<unsigned long long>(received), lost, errors, seconds);
    const bool whole = done && lost == 0 && errors == 0;
    // A flood that lost reports costs nothing per report it did not take.
    const double perReport = whole ? (cpu1 - cpu0) / floodCount * 1e9 : 1e9;
    bench::compare(out, "4", "flood CPU per report vs a bare reader with 4 KiB reads", perReport, bare, "ns", 2);
    bench::figure(out, "r1", "flood through the pty, reports/s mirrored without loss",
                  whole ? floodCount / seconds : 0, "1/s", 250000, false);
}

// Goal 3: a started library, no traffic, `boards` boards mirrored, beside a
// bare thread that sleeps 10 ms at a time, measured over the same 10 s.
void idle(std::FILE* out, int boards) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    double bareCpu = 0;
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    std::thread bare([&bareCpu] {
        const double c0 = threadCpuSeconds();
        for (int i = 0; i < 1000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        bareCpu = threadCpuSeconds() - c0;
    });
    bare.join();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double library = cpuSeconds() - cpu0 - bareCpu;
    bench::compare(out, "3", "idle CPU, " + std::to_string(boards) + (boards == 1 ? " board" : " boards") +
                                  ", vs a bare 10 ms sleeper",
                   library / wall * 100, bareCpu / wall * 100, "% core", 0.5);
}

// Goal 6: resident memory per mirrored flight board, 254 boards in all.
void memory(std::FILE* out, DeviceSide& line) {
    const long before = rssKiB();
    int added = 0;
    for (int id = 1; id <= 254; ++id) {
        if (id == boardID) continue;
        if (addBoard(line, id)) ++added;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // placeholders retired
    int mirrored = 0;
    for (int id = 1; id <= 254; ++id) mirrored += boardMirrored(id);
    const long after = rssKiB();
    std::fprintf(out, "memory: %d flight boards mirrored, RSS %ld -> %ld KiB\n", mirrored, before, after);
    const double perBoard = added > 0 ? static_cast<double>(after - before) / added : -1;
    bench::figure(out, "6", "resident memory per mirrored flight board", mirrored == 254 ? perBoard : 1e9, "KiB", 8,
                  true);
}

// deinit of an idle library, over several starts (a goal of the first round).
void deinitTime(std::FILE* out, DeviceSide& line) {
    std::vector<double> samples;
    for (int round = 0; round < 7; ++round) {
        if (round > 0) {
            if (init(hostID, 0, line.slave.c_str()) != ERROR_NO) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        const auto t0 = Clock::now();
        deinit();
        samples.push_back(ns(Clock::now() - t0) / 1e6);
    }
    bench::figure(out, "r1", "deinit when idle, median of 7", percentile(samples, 0.5), "ms", 1, true);
    bench::info(out, "r1", "deinit when idle, slowest of 7", percentile(samples, 1.0), "ms");
}

}  // namespace

int main() {
    // The figures go to the original standard output; the library's lines
    // to /dev/null.
    std::FILE* out = fdopen(dup(1), "w");
    bench::QuietStdout quiet;
    DeviceSide line;
    const double bare = bareReaderCpuPerReport(line);
    if (init(hostID, 0, line.slave.c_str()) != ERROR_NO) {
        std::fprintf(out, "init failed on %s\n", line.slave.c_str());
        return 1;
    }
    if (!addBoard(line, boardID)) {
        std::fprintf(out, "board %d was not mirrored\n", boardID);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // placeholder retired: the line is quiet
    receiveLatency(out, line, "");
    sendLatency(out, line, "");
    flood(out, line, bare);
    idle(out, 1);
    memory(out, line);
    idle(out, 254);
    deinitTime(out, line);

    // The same latencies over the network links, in the same run.
    for (DeviceSide::Kind kind : {DeviceSide::Tcp, DeviceSide::Udp}) {
        const std::string over = kind == DeviceSide::Tcp ? " over TCP" : " over UDP";
        DeviceSide link(kind);
        if (init(hostID, 0, link.slave.c_str()) != ERROR_NO || !link.accept() || !addBoard(link, boardID)) {
            std::fprintf(out, "no board%s on %s\n", over.c_str(), link.slave.c_str());
            deinit();
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        receiveLatency(out, link, over);
        sendLatency(out, link, over);
        deinit();
    }
    std::fclose(out);
    return 0;
}
