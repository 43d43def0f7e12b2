#pragma once
// Plays a capture back into the library: the bytes the capture received are
// handed over as if they came from the link, and the manager's clock follows
// the capture's timestamps instead of the wall clock. Manager ticks (every
// 10 ms of capture time) and the delivery of chunks run on one thread in the
// order of their capture times, a tick first when both fall on the same
// instant; so two replays of one capture, at any speed, drive the world model
// through the same sequence of states.
//
// speed N paces the replay at N times the recorded pace; 0 runs it as fast as
// the machine goes. Written chunks and gap records are skipped. After the last
// whole record the replay has ended: nothing more arrives, like a device that
// was unplugged and never comes back, and manager time goes on from the
// capture's last instant at the pace of the wall clock, so mirrored values
// age as they would.
//
// Threads: run() on one thread (the link's); requestStop(), ended() and
// endMessage() from any thread. stopMutex guards `stopRequested` and
// `message` and is never held while the hooks run.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "CaptureReader.h"

namespace ORQ {

class CaptureReplay {
public:
    static const uint32_t tickMs = 10;

    struct Hooks {
        std::function<void(const uint8_t* bytes, std::size_t n)> deliver;  // received bytes, in order
        std::function<void(uint32_t managerTime)> tick;                     // one manager tick
    };

    // Splits "replay://PATH[?speed=N]"; false when the string is not a replay
    // or its speed is not a number >= 0 (speed defaults to 1).
    static bool parse(const std::string& connection, std::string& path, double& speed);

    CaptureReplay(const std::string& path, double speed);

    // False when the capture's header was refused; error() says why.
    bool ok() const { return reader.ok(); }
    const std::string& error() const { return reader.error(); }
    const CaptureFormat::Header& header() const { return reader.header(); }

    // Replays, then keeps the manager's clock going until requestStop().
    void run(const Hooks& hooks);
    void requestStop();

    // True once every whole record has been delivered.
    bool ended() const { return endReached.load(); }
    // How the capture ended: "" after a clean end, else the reader's reason.
    std::string endMessage();

private:
    // Waits until the wall clock reaches `at`; false when a stop was requested.
    bool waitUntil(std::chrono::steady_clock::time_point at);

    CaptureReader reader;
    const double speed;
    std::atomic<bool> endReached;

    std::mutex stopMutex;
    std::condition_variable stopWake;
    bool stopRequested;
    std::string message;
};

}  // namespace ORQ
