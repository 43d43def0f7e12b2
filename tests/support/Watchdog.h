#pragma once
// Ends the test program when a step that must return does not: for faults
// that block forever (an open on a FIFO, a stop that never comes), which a
// test could otherwise only show by hanging.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ORQ {
namespace test {

class Watchdog {
public:
    // From now on, `what` must be done (the watchdog destroyed) within limit;
    // else the line "watchdog: <what> still running after N ms" goes to
    // stderr and the program exits with status 1.
    Watchdog(const std::string& what, std::chrono::milliseconds limit);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex;
    std::condition_variable done;
    bool finished;
    std::unique_ptr<std::thread> thread;
};

}  // namespace test
}  // namespace ORQ
