#include "Simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "LoopbackAddress.h"

namespace ORQSim {

namespace {

bool makeRaw(int fd, bool setSpeed) {
    termios t;
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (setSpeed) {
        cfsetispeed(&t, B57600);
        cfsetospeed(&t, B57600);
    }
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

Simulator::Simulator() : Simulator(Options()) {}

Simulator::Simulator(const Options& opts)
    : options(opts), epoch(std::chrono::steady_clock::now()), lineRng(opts.seed) {
    outBuffer.reserve(outLimit);
}

Simulator::~Simulator() {
    stop();
    closeLine();
}

void Simulator::closeLine() {
    if (fd >= 0) close(fd);
    if (slaveHold >= 0) close(slaveHold);
    if (listenFd >= 0) close(listenFd);
    fd = slaveHold = listenFd = -1;
}

namespace {

// Reconnects of a TCP client are tried this often, each waiting at most
// this long for the host to take it.
const int64_t reconnectMs = 100;
const int connectWaitMs = 200;

uint16_t localPort(int socket) {
    sockaddr_in a;
    socklen_t size = sizeof a;
    if (socket < 0 || getsockname(socket, reinterpret_cast<sockaddr*>(&a), &size) != 0) return 0;
    return ntohs(a.sin_port);
}

}  // namespace

bool Simulator::listenTcp(uint16_t port) {
    if (!lineUnused()) return false;
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return false;
    const int on = 1;
    // A restarted server takes its port back at once.
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = ORQSim::loopbackAddress(port);
    if (bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(s, 4) != 0) {
        close(s);
        return false;
    }
    listenFd = s;
    ownPort = localPort(s);
    linePath = "tcp://127.0.0.1:" + std::to_string(ownPort.load());
    return true;
}

bool Simulator::openUdpSocket() {
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return false;
    const sockaddr_in any = ORQSim::loopbackAddress(0);
    const sockaddr_in host = ORQSim::loopbackAddress(udpTarget);
    if (bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
        connect(s, reinterpret_cast<const sockaddr*>(&host), sizeof host) != 0) {
        close(s);
        return false;
    }
    fd = s;
    ownPort = localPort(s);
    return true;
}

bool Simulator::lineUnused() const {
    return !running && fd < 0 && listenFd < 0 && tcpTarget == 0;
}

bool Simulator::listenUdp(uint16_t port) {
    if (!lineUnused()) return false;
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return false;
    const sockaddr_in a = ORQSim::loopbackAddress(port);
    if (bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return false;
    }
    fd = s;
    udpListening = true;
    ownPort = localPort(s);
    linePath = "udpout://127.0.0.1:" + std::to_string(ownPort.load());
    return true;
}

bool Simulator::connectTcp(uint16_t port) {
    if (!lineUnused() || port == 0) return false;
    tcpTarget = port;
    ownPort = port;
    linePath = "tcpin://127.0.0.1:" + std::to_string(port);
    return true;
}

void Simulator::connectClient(int64_t now) {
    if (tcpTarget == 0 || fd >= 0 || now < nextConnect) return;
    nextConnect = now + reconnectMs;
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return;
    // A blocking connect, bounded: refused at once, or taken by the host.
    const timeval wait{0, connectWaitMs * 1000};
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    const sockaddr_in host = ORQSim::loopbackAddress(tcpTarget);
    if (connect(s, reinterpret_cast<const sockaddr*>(&host), sizeof host) != 0 || !setNonBlocking(s)) {
        close(s);
        return;
    }
    const int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fd = s;
}

bool Simulator::sendUdp(uint16_t port) {
    if (!lineUnused() || port == 0) return false;
    udpTarget = port;
    if (!openUdpSocket()) return false;
    linePath = "udpin://127.0.0.1:" + std::to_string(port);
    return true;
}

uint16_t Simulator::port() const {
    return ownPort;
}

void Simulator::acceptClient() {
    if (listenFd < 0 || fd >= 0) return;
    const int c = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (c < 0) return;
    const int on = 1;
    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fd = c;
}

void Simulator::dropIfDue(int64_t now) {
    if (options.dropEvery <= 0 || now - lastDrop < static_cast<int64_t>(options.dropEvery * 1000)) return;
    lastDrop = now;
    if (tcpConnection() && fd >= 0) {
        close(fd);
        fd = -1;
        outBuffer.clear();
    } else if (udpListening) {
        // A restart on the same port: who spoke is forgotten.
        const sockaddr_in a = ORQSim::loopbackAddress(ownPort);
        close(fd);
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            fd = -1;
        }
        peerHeard = false;
        outBuffer.clear();
    } else if (udpTarget != 0) {
        close(fd);
        fd = -1;
        openUdpSocket();
    }
}

bool Simulator::openPty() {
    if (running || fd >= 0) return false;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return false;
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return false;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0 || !makeRaw(master, false) || !makeRaw(slave, true) || !setNonBlocking(master)) {
        if (slave >= 0) close(slave);
        close(master);
        return false;
    }
    fd = master;
    slaveHold = slave;
    linePath = name;
    return true;
}

bool Simulator::attach(const std::string& device) {
    if (running || fd >= 0) return false;
    const int f = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (f < 0) return false;
    if (!makeRaw(f, true)) {
        close(f);
        return false;
    }
    fd = f;
    linePath = device;
    return true;
}

bool Simulator::start() {
    if ((fd < 0 && listenFd < 0 && tcpTarget == 0) || running) return false;
    lastDrop = nowMs();
    running = true;
    ioThread = std::make_unique<std::thread>(&Simulator::ioLoop, this);
    return true;
}

void Simulator::stop() {
    running = false;
    if (ioThread) ioThread->join();
    ioThread.reset();
}

int64_t Simulator::nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - epoch).count();
}

bool Simulator::addDevice(uint8_t id, SimDevice::Type type) {
    std::lock_guard<std::mutex> g(lock);
    if (id == 0) return false;
    for (const auto& d : devices) {
        if (d->id() == id) return false;
    }
    devices.emplace_back(new SimDevice(id, type, options.seed, options.rate, nowMs()));
    return true;
}

Simulator::Counters Simulator::counters() const {
    Counters c;
    c.framesSent = framesSent;
    c.noiseInjected = noiseInjected;
    c.framesDropped = framesDropped;
    c.framesReceived = framesReceived;
    c.badFrames = badFrames;
    c.bytesReceived = bytesReceived;
    c.bytesQueued = bytesQueued;
    std::lock_guard<std::mutex> g(lock);
    c.typeRequests = typeRequestCount;
    return c;
}

uint32_t Simulator::setsReceived(uint8_t dataType) const {
    std::lock_guard<std::mutex> g(lock);
    return setCounts[dataType];
}

bool Simulator::currentValue(uint8_t id, int dataID, int index, int32_t& out) const {
    std::lock_guard<std::mutex> g(lock);
    for (const auto& d : devices) {
        if (d->id() == id) return d->currentValue(dataID, index, out);
    }
    return false;
}

void Simulator::pauseReports(bool p) {
    std::lock_guard<std::mutex> g(lock);
    paused = p;
}

void Simulator::reportAllAndPause() {
    std::vector<SimMessage> all;
    std::lock_guard<std::mutex> g(lock);
    const int64_t now = nowMs();
    for (auto& d : devices) d->collectAllReports(now, all);
    uint8_t frame[SimCodec::maxFrame];
    for (const SimMessage& m : all) {
        const size_t n = SimCodec::encodeFrame(m, frame, sizeof frame);
        injected.insert(injected.end(), frame, frame + n);
    }
    paused = true;
}

bool Simulator::waitForSets(uint8_t dataType, uint32_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> g(lock);
    return changed.wait_for(g, timeout, [&] { return setCounts[dataType] >= count; });
}

bool Simulator::waitForValue(uint8_t id, int dataID, int index, int32_t value, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int32_t v = 0;
    while (!(currentValue(id, dataID, index, v) && v == value)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // Animated values change without a notification: look again shortly.
        std::unique_lock<std::mutex> g(lock);
        changed.wait_for(g, std::chrono::milliseconds(10));
    }
    return true;
}

void Simulator::injectBytes(const uint8_t* bytes, size_t n) {
    std::lock_guard<std::mutex> g(lock);
    injected.insert(injected.end(), bytes, bytes + n);
}

void Simulator::emit(const SimMessage& m) {
    uint8_t layout[SimCodec::maxLayout];
    uint8_t frame[SimCodec::maxFrame];
    const size_t layoutSize = SimCodec::encodeSmal(m, layout, sizeof layout);
    if (layoutSize == 0) return;
    size_t n = 0;
    bool damaged = false;
    if (options.noise > 0 && std::uniform_real_distribution<double>(0, 1)(lineRng) < options.noise) {
        damaged = true;
        switch (lineRng() % 3) {
        case 0:   // wrong check byte
            layout[layoutSize - 1] ^= static_cast<uint8_t>(1 + lineRng() % 255);
            n = SimCodec::frame(layout, layoutSize, frame, sizeof frame);
            break;
        case 1:   // cut off before the end byte
            n = SimCodec::frame(layout, layoutSize, frame, sizeof frame);
            n = 1 + lineRng() % (n - 2);
            break;
        default:  // garbage instead of the frame
            n = 1 + lineRng() % 16;
            for (size_t i = 0; i < n; ++i) frame[i] = static_cast<uint8_t>(lineRng() % SimCodec::frameEnd);
            break;
        }
    } else {
        n = SimCodec::frame(layout, layoutSize, frame, sizeof frame);
    }
    if (!lineReady() || outBuffer.size() + n > outLimit) {
        ++framesDropped;
        return;
    }
    outBuffer.insert(outBuffer.end(), frame, frame + n);
    bytesQueued += n;
    ++(damaged ? noiseInjected : framesSent);
}

bool Simulator::tcpConnection() const {
    return listenFd >= 0 || tcpTarget != 0;
}

bool Simulator::lineReady() const {
    return fd >= 0 && (!udpListening || peerHeard);
}

void Simulator::flush() {
    if (!lineReady()) {
        // No TCP connection, nobody heard on UDP: nobody hears the devices.
        outBuffer.clear();
        return;
    }
    const bool datagrams = udpTarget != 0 || udpListening;
    // A datagram carries at most this much: a frame may be split between two.
    const size_t piece = datagrams ? 100 : outBuffer.size();
    while (!outBuffer.empty()) {
        const size_t n = std::min(piece, outBuffer.size());
        const ssize_t w = udpListening ? sendto(fd, outBuffer.data(), n, 0, reinterpret_cast<const sockaddr*>(&udpPeer),
                                                sizeof udpPeer)
                                       : write(fd, outBuffer.data(), n);
        if (w <= 0) {
            // Full (EAGAIN) or no reader: try again later. Nobody listening
            // for datagrams: they are lost.
            if (datagrams) outBuffer.clear();
            return;
        }
        outBuffer.erase(outBuffer.begin(), outBuffer.begin() + w);
    }
}

void Simulator::dispatch(const SimMessage& m, int64_t now, std::vector<SimMessage>& replies) {
    std::lock_guard<std::mutex> g(lock);
    for (auto& d : devices) {
        if (d->id() != m.receiver) continue;
        const size_t before = replies.size();
        switch (d->handle(m, now, replies)) {
        case SimDevice::Handled::Set:
            ++setCounts[m.dataType];
            changed.notify_all();
            break;
        case SimDevice::Handled::TypeRequest:
            ++typeRequestCount;
            break;
        case SimDevice::Handled::Ignored:
            break;
        }
        if (paused) replies.resize(before);
        return;
    }
}

void Simulator::ioLoop() {
    std::vector<SimMessage> out;
    uint8_t chunk[2048];   // a whole datagram of the host
    while (running) {
        const int64_t now = nowMs();
        int64_t due = now + 10;
        out.clear();
        {
            std::lock_guard<std::mutex> g(lock);
            for (auto& d : devices) {
                if (!paused) d->collectReports(now, out);
                due = std::min(due, d->nextDue());
            }
            outBuffer.insert(outBuffer.end(), injected.begin(), injected.end());
            bytesQueued += injected.size();
            injected.clear();
            // Queued under the lock, so that once pauseReports(true) returns
            // nothing but injected bytes is queued any more.
            for (const SimMessage& m : out) emit(m);
        }
        dropIfDue(now);
        acceptClient();
        connectClient(now);
        flush();

        const bool waiting = fd < 0;   // for a TCP client
        pollfd p{waiting ? listenFd : fd,
                 static_cast<short>(POLLIN | (outBuffer.empty() || waiting ? 0 : POLLOUT)), 0};
        const int timeout = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(10, due - nowMs())));
        if (poll(&p, 1, timeout) <= 0 || waiting) continue;
        if (p.revents & POLLIN) {
            out.clear();
            ssize_t r;
            sockaddr_in from;
            socklen_t fromSize = sizeof from;
            // A pseudo-terminal or device is no socket: read() for it.
            auto readSome = [&] {
                fromSize = sizeof from;
                return udpListening ? recvfrom(fd, chunk, sizeof chunk, 0, reinterpret_cast<sockaddr*>(&from), &fromSize)
                                    : read(fd, chunk, sizeof chunk);
            };
            // An empty datagram is no end of file: it says where to answer.
            while ((r = readSome()) > 0 || (r == 0 && udpListening) || (r < 0 && errno == EINTR)) {
                if (r < 0) continue;
                if (udpListening) {
                    // Whoever spoke last is answered.
                    udpPeer = from;
                    peerHeard = true;
                }
                bytesReceived += static_cast<uint64_t>(r);
                SimMessage m;
                for (ssize_t i = 0; i < r; ++i) {
                    if (decoder.push(chunk[i], m)) {
                        ++framesReceived;
                        dispatch(m, nowMs(), out);
                    }
                }
            }
            // End of file, or a failure other than "nothing more now": the
            // TCP client is gone.
            if (tcpConnection() && (r == 0 || errno != EAGAIN)) {
                close(fd);
                fd = -1;
            }
            badFrames = decoder.badFrames();
            {
                std::lock_guard<std::mutex> g(lock);
                if (!paused) {
                    for (const SimMessage& m : out) emit(m);
                }
            }
            flush();
        } else if (p.revents & (POLLHUP | POLLERR)) {
            // Nobody on the other end of an attached device: do not spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

}  // namespace ORQSim
