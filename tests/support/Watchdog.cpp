#include "Watchdog.h"

#include <cstdio>
#include <unistd.h>

namespace ORQ {
namespace test {

Watchdog::Watchdog(const std::string& what, std::chrono::milliseconds limit) : finished(false) {
    thread = std::make_unique<std::thread>([this, what, limit] {
        std::unique_lock<std::mutex> lock(mutex);
        if (done.wait_for(lock, limit, [this] { return finished; })) return;
        std::fprintf(stderr, "watchdog: %s still running after %lld ms\n", what.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        _exit(1);
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    done.notify_all();
    thread->join();
}

}  // namespace test
}  // namespace ORQ
