#include "ProcessProbe.h"

#include <dirent.h>
#include <future>
#include <memory>
#include <thread>

namespace ORQ {
namespace test {

namespace {

std::size_t countEntries(const char* path) {
    DIR* dir = opendir(path);
    if (dir == nullptr) {
        return 0;
    }
    std::size_t n = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++n;
        }
    }
    closedir(dir);
    return n;
}

}  // namespace

std::size_t openDescriptorCount() {
    return countEntries("/proc/self/fd");
}

std::size_t threadCount() {
    // ThreadSanitizer starts a helper thread of its own at the process's
    // first thread creation; have that happen before the first count, so
    // that the helper is never taken for a thread of the library.
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    return countEntries("/proc/self/task");
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool finishesWithin(const std::function<void()>& call, std::chrono::milliseconds timeout) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread helper([call, done] {
        call();
        done->set_value();
    });
    if (finished.wait_for(timeout) != std::future_status::ready) {
        helper.detach();
        return false;
    }
    helper.join();
    return true;
}

}  // namespace test
}  // namespace ORQ
