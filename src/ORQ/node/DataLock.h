#pragma once
// A component's data lock: a mutex whose wait has a limit (given at
// construction, 1000 ms unless a test asks for less) measured on the
// monotonic clock. Built on one atomic word and the futex it names: taking a
// free lock and giving it back are one atomic instruction each; only a wait
// enters the kernel. Meets the standard's timed-lockable shape (try_lock,
// try_lock_for, unlock), so std::unique_lock holds it.
//
// Why not std::timed_mutex, which waits on the monotonic clock as well: its
// timed wait is pthread_mutex_clocklock, which GCC 12's ThreadSanitizer does
// not intercept (libtsan.so.2 has pthread_mutex_timedlock only), so a write
// after a contended wait is reported as a race (tried on this toolchain; see
// docs/performance.md). The atomics here are seen by it.
//
// Threads: any. Not recursive; unlock() only by the thread that holds it.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace ORQ {

class DataLock {
public:
    static constexpr std::chrono::milliseconds defaultWaitLimit{1000};

    explicit DataLock(std::chrono::milliseconds limitOfWaits = defaultWaitLimit) : state(free), limit(limitOfWaits) {}
    DataLock(const DataLock&) = delete;
    DataLock& operator=(const DataLock&) = delete;

    // Inline: the receive path takes and gives back a free lock per report.
    bool try_lock() {
        uint32_t expected = free;
        return state.compare_exchange_strong(expected, taken, std::memory_order_acquire, std::memory_order_relaxed);
    }
    // Waits at most `within` for the lock; false when it stayed taken.
    bool try_lock_for(std::chrono::milliseconds within);
    // Takes a free lock at once, without reading the clock; else waits at
    // most the limit given at construction.
    bool tryLockWithinLimit() { return try_lock() || try_lock_for(limit); }
    void unlock() {
        if (state.exchange(free, std::memory_order_release) == contended) wakeOne();
    }

private:
    void wakeOne();  // wakes a thread sleeping on the lock

    enum : uint32_t { free = 0, taken = 1, contended = 2 };  // contended: someone may sleep on it
    std::atomic<uint32_t> state;
    const std::chrono::milliseconds limit;
};

}  // namespace ORQ
