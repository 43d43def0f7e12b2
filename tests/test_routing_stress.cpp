// Routing under load: one receive thread routing messages from many senders
// (type replies included, so typed models replace placeholders), one
// main-loop thread ticking a clock that ages components out across the 2^32
// wrap, a send thread draining the queue, and host threads working on
// components. Meant to run under the thread and address sanitizers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "node/Component.h"
#include "routing/ComponentRef.h"
#include "datamaps/DeviceModelFactory.h"
#include "routing/MessageManager.h"
#include "wire/MessageQueue.h"
#include "wire/MessageSystem.h"
#include "TestMessages.h"
#include "routing/WorldModel.h"

using ORQ::Component;
using ORQ::MessageManager;
using ORQ::MessageSystem;
using ORQ::test::makeMessage;

namespace {

const uint8_t firstSender = 2;
const uint8_t lastSender = 24;
const int routedMessages = 40000;
const int ticks = 3000;

// Aborts the test program when the threads have not finished long after they
// should have: a deadlock must not hang the suite.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread([this, limit] {
              std::unique_lock<std::mutex> lock(mutex);
              if (!cv.wait_for(lock, limit, [this] { return done; })) {
                  std::fprintf(stderr, "routing stress: threads still running, deadlock\n");
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        cv.notify_one();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::thread thread;
};

TEST(RoutingStress, ConcurrentRoutingTickingAndHostUseStayConsistent) {
    MessageSystem link;  // driver mode, as in the library
    MessageManager mm;
    mm.addMessageSystem(&link);
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
    mm.setComponentFactory(&ORQ::makeDeviceModel);
    mm.setBroadcast(1);
    mm.setMyID(1);
    ORQ::WorldModel& wm = *mm.getWorldModel();

    std::atomic<bool> routingDone{false}, tickingDone{false};
    std::atomic<int> typedSeen{0}, locksTaken{0};

    ::testing::internal::CaptureStdout();
    {
        Watchdog watchdog(std::chrono::seconds(240));

        std::thread receiver([&] {
            std::mt19937 rng(1);
            std::uniform_int_distribution<int> sender(firstSender, lastSender);
            std::uniform_int_distribution<int> kind(0, 9);
            std::uniform_int_distribution<int> byte(0, 255);
            // Goes on past its count until a host has seen a typed board: on a
            // loaded machine the hosts may not have run at all before the last
            // message, and the check below is about what they saw while routing.
            for (int i = 0; i < routedMessages || typedSeen.load() == 0; ++i) {
                const uint8_t from = static_cast<uint8_t>(sender(rng));
                switch (kind(rng)) {
                    case 0:  // type reply: flight board, ground station, or nonsense
                        mm.procMessage(makeMessage(4, from, 1, {static_cast<uint8_t>(byte(rng) % 3)}).get(), &link);
                        break;
                    case 1:  // heartbeat
                        mm.procMessage(makeMessage(54, from, 1, {static_cast<uint8_t>(byte(rng))}).get(), &link);
                        break;
                    case 2:  // from nobody
                        mm.procMessage(makeMessage(6, 0, 1).get(), &link);
                        break;
                    default: {  // some value report, payload of any length
                        auto m = makeMessage(static_cast<uint8_t>(byte(rng)), from, 1);
                        const uint8_t size = static_cast<uint8_t>(byte(rng) % 13);
                        m->dataSize = size;
                        for (uint8_t k = 0; k < size; ++k) m->data[k] = static_cast<uint8_t>(byte(rng));
                        mm.procMessage(m.get(), &link);
                    }
                }
            }
            routingDone = true;
        });

        std::thread mainLoop([&] {
            // Starts below the wrap of manager time; mostly 10 ms ticks, with a
            // jump now and then so that silent components pass 300000 ms.
            uint32_t now = 0xFFFFFFFFu - 2000000u;
            for (int i = 0; i < ticks || !routingDone; ++i) {
                now += (i % 40 == 39) ? 100000u : 10u;
                mm.run(now);
            }
            tickingDone = true;
        });

        std::thread sendThread([&] {
            ORQ::MessageQueue* q = link.getMessageQueue();
            while (!tickingDone) {
                if (q->getFirstMessage() != nullptr) {
                    q->deleteFirst();
                } else {
                    std::this_thread::yield();
                }
            }
        });

        std::vector<std::thread> hosts;
        for (int h = 0; h < 2; ++h) {
            hosts.emplace_back([&, h] {
                std::mt19937 rng(100 + h);
                std::uniform_int_distribution<int> id(firstSender, lastSender);
                while (!tickingDone) {
                    ORQ::ComponentRef c = wm.acquireComponent(static_cast<uint8_t>(id(rng)));
                    if (!c) continue;
                    if (c.lock()) {
                        ++locksTaken;
                        if (c->type == 1) ++typedSeen;
                        volatile uint32_t age = c->getUpdateTime();
                        volatile uint8_t alive = c->isAlive();
                        volatile int16_t received = c->recvMessageCounter;
                        (void)age;
                        (void)alive;
                        (void)received;
                        auto set = makeMessage(31, c->getEgoID(), c->ID, {2});
                        c->send(set.get());
                    }
                }
            });
        }

        receiver.join();
        mainLoop.join();
        sendThread.join();
        for (auto& t : hosts) t.join();
    }
    const std::string out = ::testing::internal::GetCapturedStdout();

    EXPECT_NE(out.find("[MessageManager] autoAdd id "), std::string::npos);
    EXPECT_NE(out.find("[WorldModel] deleteOldComponents id 0\n"), std::string::npos);  // retired placeholders
    EXPECT_GT(locksTaken.load(), 0);
    EXPECT_GT(typedSeen.load(), 0);

    // Every lock taken was given back, and every use.
    wm.forEach([](Component& c) {
        EXPECT_EQ(c.useCount(), 0) << "component " << int(c.ID);
        ORQ::ComponentRef held(&c);
        EXPECT_TRUE(held.lock()) << "data lock of component " << int(c.ID) << " still held";
    });
}

}  // namespace
