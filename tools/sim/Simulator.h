#pragma once
// Stand-in for the remote devices on one serial line: any number of simulated
// flight boards and ground stations behind a pseudo-terminal (or a real device
// path), answering type requests, reporting their values at believable rates
// and applying the set messages addressed to them. The same devices can be
// served over loopback instead: as a TCP server (one client at a time, like a
// serial-to-network bridge), as a TCP client of a listening host (connecting
// again whenever refused or dropped), over UDP to a listening host, which
// hears the devices first and answers to where they send from, or listening
// on UDP for a host that speaks first (answering whoever spoke last).
//
// One I/O thread, started by start(), reads and writes the line and runs the
// devices. Every public operation may be called from any other thread while
// it runs; openPty/attach/start/stop are meant for one controlling thread.
//
// Noise (Options::noise, 0..1) replaces that fraction of the outgoing frames
// by a damaged form: a wrong check byte, a frame cut off before its end byte,
// or garbage bytes. Garbage never contains the start or end byte, so noise
// never forges a frame: every damaged frame is lost, and only it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

#include "SimCodec.h"
#include "SimDevice.h"

namespace ORQSim {

class Simulator {
public:
    struct Options {
        double rate = 1.0;    // multiplies every report rate
        double noise = 0.0;   // fraction of outgoing frames damaged
        uint32_t seed = 1;    // seeds sensor noise, report phases and line noise
        // Fault: every dropEvery seconds (0: never) the TCP connection is
        // closed, the UDP socket sending replaced by one on another port, or
        // the UDP socket listening replaced by one on the same port that has
        // heard nobody yet.
        double dropEvery = 0;
    };
    struct Counters {
        uint64_t framesSent = 0;       // intact frames written
        uint64_t noiseInjected = 0;    // frames replaced by damage
        uint64_t framesDropped = 0;    // frames not written: nobody reads the line
        uint64_t framesReceived = 0;   // frames received that decoded
        uint64_t badFrames = 0;        // frames received that did not decode
        uint64_t bytesReceived = 0;
        uint64_t bytesQueued = 0;      // bytes queued for the line: frames, damage, injected bytes
        uint64_t typeRequests = 0;     // type requests answered (or due, when paused)
    };

    Simulator();
    explicit Simulator(const Options& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates a pseudo-terminal (both ends raw); path() is its slave device.
    bool openPty();
    // Uses an existing serial device instead (set raw, 57600 baud).
    bool attach(const std::string& device);
    // Serves TCP on 127.0.0.1:port (0: a free port, see port()).
    bool listenTcp(uint16_t port);
    // Sends UDP to 127.0.0.1:port from a port of its own.
    bool sendUdp(uint16_t port);
    // Listens for UDP on 127.0.0.1:port (0: a free port, see port()) and
    // answers whoever spoke last (an empty datagram counts); frames are
    // dropped until someone has.
    bool listenUdp(uint16_t port);
    // Connects to the TCP server on 127.0.0.1:port once started, and again
    // (every 100 ms) whenever refused or the connection goes.
    bool connectTcp(uint16_t port);
    // The TCP port served or connected to, the UDP port listened on or sent
    // from (0 otherwise).
    uint16_t port() const;
    // Starts the I/O thread; false without a line or when already running.
    bool start();
    // Stops and joins the I/O thread; the line stays open.
    void stop();
    const std::string& path() const { return linePath; }

    // Adds a device; false for ID 0 or an ID already present.
    bool addDevice(uint8_t id, SimDevice::Type type);

    Counters counters() const;
    // Set messages received and applied, per data type (39/40 debug pieces,
    // 41 waypoint writes and requests, ...).
    uint32_t setsReceived(uint8_t dataType) const;
    // The device's current value in the host's vocabulary (see SimDevice).
    bool currentValue(uint8_t id, int dataID, int index, int32_t& out) const;

    // While paused the devices send nothing at all; received sets are still
    // applied and their echoes go out after resuming. Once pauseReports(true)
    // returns, nothing but injected bytes is queued for the line.
    void pauseReports(bool paused);
    // Sends one intact report of every value of every device, all taken at one
    // instant, after the frames already on their way, then pauses: from then
    // on currentValue() is the value the line carried last.
    void reportAllAndPause();
    // Waits until at least count sets of dataType have been applied.
    bool waitForSets(uint8_t dataType, uint32_t count, std::chrono::milliseconds timeout) const;
    // Waits until currentValue(id, dataID, index) equals value.
    bool waitForValue(uint8_t id, int dataID, int index, int32_t value, std::chrono::milliseconds timeout) const;
    // Writes raw bytes to the line (after the frames already queued).
    void injectBytes(const uint8_t* bytes, size_t n);

private:
    static const size_t outLimit = 16384;   // bytes waiting for a reader before frames are dropped

    void ioLoop();
    void dispatch(const SimMessage& m, int64_t now, std::vector<SimMessage>& replies);
    void emit(const SimMessage& m);
    void flush();
    int64_t nowMs() const;
    void closeLine();
    // TCP: takes a waiting client, if any.
    void acceptClient();
    // TCP client: connects when due and not connected.
    void connectClient(int64_t now);
    // No line of any kind was chosen yet, and the I/O thread does not run.
    bool lineUnused() const;
    // The line is a TCP connection (served or client).
    bool tcpConnection() const;
    // Frames written now reach someone.
    bool lineReady() const;
    // The dropEvery fault, when due.
    void dropIfDue(int64_t now);
    bool openUdpSocket();

    Options options;
    std::chrono::steady_clock::time_point epoch;
    std::string linePath;
    int fd = -1;          // master side of the pty, or the attached device
    int slaveHold = -1;   // keeps the pty slave open so the line survives reopening
    int listenFd = -1;    // TCP: the listening socket; fd is the client, -1 without one
    uint16_t udpTarget = 0;  // UDP: the host's port
    uint16_t tcpTarget = 0;  // TCP client: the host's port; fd is the connection, -1 without one
    bool udpListening = false;  // UDP: fd listens and answers udpPeer
    sockaddr_in udpPeer{};      // I/O thread
    bool peerHeard = false;     // I/O thread
    int64_t nextConnect = 0;    // I/O thread
    int64_t lastDrop = 0;    // I/O thread
    // The TCP port served or the UDP port sent from; the I/O thread changes
    // the latter, port() reads it from anywhere.
    std::atomic<uint16_t> ownPort{0};

    std::unique_ptr<std::thread> ioThread;
    std::atomic<bool> running{false};

    // Guards devices, paused, injected, setCounts, typeRequests.
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::vector<std::unique_ptr<SimDevice>> devices;
    bool paused = false;
    std::vector<uint8_t> injected;
    uint32_t setCounts[256] = {};
    uint64_t typeRequestCount = 0;

    // I/O thread only.
    SimCodec decoder;
    std::mt19937 lineRng;
    std::vector<uint8_t> outBuffer;

    std::atomic<uint64_t> framesSent{0}, noiseInjected{0}, framesDropped{0}, framesReceived{0},
        badFrames{0}, bytesReceived{0}, bytesQueued{0};
};

}  // namespace ORQSim
