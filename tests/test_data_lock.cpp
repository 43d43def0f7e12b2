// The data lock: mutual exclusion under contention (the futex path), a wait
// that ends at its limit, and a waiter woken when the holder lets go; and a
// host call that gives up on a component whose lock stays taken.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "routing/ComponentRef.h"
#include "models/ComponentVKRClient.h"
#include "node/DataLock.h"
#include "host/Dll.h"
#include "HostCalls.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

using ORQ::DataLock;
using std::chrono::milliseconds;

namespace {

TEST(DataLock, ThreadsThatContendForItNeverOverlap) {
    DataLock lock;
    long counter = 0;  // plain on purpose: only the lock orders the writes
    const int threads = 4, rounds = 50000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                std::unique_lock<DataLock> held(lock, milliseconds(10000));
                ASSERT_TRUE(held.owns_lock());
                ++counter;
                if (i % 64 == 0) std::this_thread::yield();  // lets the others queue up and sleep
            }
        });
    }
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(counter, long(threads) * rounds);
    EXPECT_TRUE(lock.try_lock());
    lock.unlock();
}

TEST(DataLock, AWaitForATakenLockEndsAtItsLimit) {
    DataLock lock;
    ASSERT_TRUE(lock.try_lock());
    std::async(std::launch::async, [&] {
        EXPECT_FALSE(lock.try_lock());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(lock.try_lock_for(milliseconds(50)));
        EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(50));  // it did wait
    }).get();
    lock.unlock();
    EXPECT_TRUE(lock.try_lock_for(milliseconds(0)));  // a free lock needs no wait
    lock.unlock();
}

// The limit given at construction is the one a wait keeps: not shorter, and
// well short of the default second.
TEST(DataLock, AWaitWithinTheLimitEndsAtTheLimitItWasBuiltWith) {
    DataLock lock(milliseconds(100));
    ASSERT_TRUE(lock.tryLockWithinLimit());  // free: taken at once
    std::async(std::launch::async, [&] {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(lock.tryLockWithinLimit());
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, milliseconds(100)) << "gave up before its limit";
        EXPECT_LT(waited, DataLock::defaultWaitLimit) << "waited the default, not its own limit";
    }).get();
    lock.unlock();
}

TEST(DataLock, ASleepingWaiterGetsTheLockWhenTheHolderLetsGo) {
    DataLock lock;
    ASSERT_TRUE(lock.try_lock());
    std::promise<void> waiting;
    auto waiter = std::async(std::launch::async, [&] {
        waiting.set_value();
        const bool got = lock.try_lock_for(milliseconds(10000));
        if (got) lock.unlock();
        return got;
    });
    waiting.get_future().wait();
    std::this_thread::sleep_for(milliseconds(20));  // most likely asleep by now; either way it must get it
    lock.unlock();
    EXPECT_TRUE(waiter.get());
}

// A host read of a component another thread keeps locked fails with -62 once
// the documented 1000 ms have passed: not before, and not much after.
TEST(DataLockHost, AReadOfAComponentLockedElsewhereGivesUpAfterASecond) {
    const uint8_t boardID = 5;
    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    mm.addMessageSystem(&ms);
    mm.getWorldModel()->addComponent(new ORQ::ComponentVKRClient(boardID));
    ORQ::test::HostCalls host(mm, ms);

    std::promise<bool> locked;
    std::promise<void> done;
    std::thread holder([&] {
        ORQ::ComponentRef use = mm.getWorldModel()->acquireComponent(boardID);
        locked.set_value(use.lock());
        done.get_future().wait();
    });
    const bool held = locked.get_future().get();
    int value = 0;
    const auto start = std::chrono::steady_clock::now();
    const int result = host.getData(boardID, 31, &value, 0);
    const auto waited = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count();
    done.set_value();
    holder.join();
    ASSERT_TRUE(held);
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, result);
    EXPECT_GE(waited, 1000) << "gave up before the limit";
    EXPECT_LE(waited, 1500) << "waited beyond the limit";
}

}  // namespace
