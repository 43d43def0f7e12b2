#pragma once
// A component's data lock: a mutex whose wait has a limit measured on the
// monotonic clock, so a change of the system time neither stretches nor cuts
// it. Built on one atomic word and the futex it names: taking a free lock and
// giving it back are one atomic instruction each; only a wait enters the
// kernel. Meets the standard's timed-lockable shape (try_lock, try_lock_for,
// unlock), so std::unique_lock holds it.
//
// Threads: any. Not recursive; unlock() only by the thread that holds it.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace ORQ {

class DataLock {
public:
    DataLock() : state(free) {}
    DataLock(const DataLock&) = delete;
    DataLock& operator=(const DataLock&) = delete;

    // Inline: the receive path takes and gives back a free lock per report.
    bool try_lock() {
        uint32_t expected = free;
        return state.compare_exchange_strong(expected, taken, std::memory_order_acquire, std::memory_order_relaxed);
    }
    // Waits at most `limit` for the lock; false when it stayed taken.
    bool try_lock_for(std::chrono::milliseconds limit);
    void unlock() {
        if (state.exchange(free, std::memory_order_release) == contended) wakeOne();
    }

private:
    void wakeOne();  // wakes a thread sleeping on the lock

    enum : uint32_t { free = 0, taken = 1, contended = 2 };  // contended: someone may sleep on it
    std::atomic<uint32_t> state;
};

}  // namespace ORQ
