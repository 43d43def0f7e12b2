#include "node/DataLock.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace ORQ {

namespace {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "the futex word is the atomic itself");

uint32_t* word(std::atomic<uint32_t>& state) { return reinterpret_cast<uint32_t*>(&state); }

}  // namespace

bool DataLock::try_lock_for(std::chrono::milliseconds within) {
    if (try_lock()) return true;
    // FUTEX_WAIT_BITSET takes an absolute deadline on CLOCK_MONOTONIC.
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const auto ms = within.count();
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_nsec -= 1000000000L;
        ++deadline.tv_sec;
    }
    // Whoever takes the lock on this path marks it contended, so its unlock
    // wakes the next sleeper; a spurious wake-up costs one more round.
    while (state.exchange(contended, std::memory_order_acquire) != free) {
        const long r = syscall(SYS_futex, word(state), FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, contended, &deadline,
                               nullptr, FUTEX_BITSET_MATCH_ANY);
        if (r == -1 && errno == ETIMEDOUT) return false;
    }
    return true;
}

void DataLock::wakeOne() { syscall(SYS_futex, word(state), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, 1, nullptr, nullptr, 0); }

}  // namespace ORQ
