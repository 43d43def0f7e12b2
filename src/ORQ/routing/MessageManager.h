#pragma once
// Hub of the library: owns the world model, keeps the list of message systems
// and the manager time (ms passed to run(); every age is a difference of it
// modulo 2^32), routes every received message to the ego component or to the
// component of its sender (creating a placeholder for a new sender), forwards
// it to the other message systems, and sends for the components.
//
// Manager time is what the last run() was given, or, once followClock() was
// called, the ms on the steady clock since the point it was given: a main
// loop that sleeps until the next thing is due keeps the ages current that
// way between its ticks.
//
// Type discovery builds typed components with the factory the owner sets
// (setComponentFactory); without one, placeholders stay placeholders. The
// manager itself knows no device model.
//
// Threads: run() on the main-loop thread only; procMessage() on the receive
// thread of a link driver (or inside run() for auto-mode systems); send() and
// wakeMainLoop() from any thread. Settings, myID, ego, the factory, the clock
// and the wake function are set before the threads start.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "node/Component.h"
#include "wire/Message.h"
#include "routing/MessageDebugger.h"
#include "wire/MessageSystem.h"
#include "routing/Settings.h"
#include "routing/TypeRequestPacer.h"
#include "routing/WorldModel.h"

namespace ORQ {

// The typed model for a node's type reply code (1 flight board, 0 ground
// station) with the node's ID; null for a code it does not know (or when out
// of memory). The caller owns the result.
using ComponentFactory = Component* (*)(uint8_t id, uint8_t typeCode);

class MessageManager {
public:
    MessageManager();
    virtual ~MessageManager();  // destroys the world model and its components

    // One tick at manager time `time`. Returns the ms from `time` until the
    // next tick has work (Component::nothingDue: nothing until a wake): a
    // timed handler, a clean-up or ageing of the world model, or, with an
    // auto-mode message system, its next poll.
    uint32_t run(uint32_t time);
    // Routes m, received on mss; the caller keeps m.
    void procMessage(Message* m, MessageSystem* mss);
    // Queues a copy of m on the system registered last. False when it was not
    // queued: refused by the queue, or no system registered yet.
    bool send(Message* m);
    void addMessageSystem(MessageSystem* ms);

    uint8_t getMyID();
    void setMyID(uint8_t id);
    void setEgo(Component* e);
    void setObserve(uint8_t value);
    void setAutoAddNewComponents(uint8_t value);
    void setComponentFactory(ComponentFactory factory);
    void setRoute(uint8_t value);
    void setBroadcast(uint8_t value);
    Settings getSettings();
    void setMessageDebugger(MessageDebugger* md);
    WorldModel* getWorldModel();
    // Turns of the placeholders' type requests; main-loop thread only.
    TypeRequestPacer& getTypeRequestPacer();
    MessageSystem* getMessageSystems();
    // Inline: every accepted report reads it.
    uint32_t getTime() {
        if (!clockFollowed) return timeNow;
        if (batchOf == this) return batchTime;
        return readClock();
    }
    void followClock(std::chrono::steady_clock::time_point start);

    // While one lives on a thread, the manager time on that thread is the
    // time it was opened: the reports of one read of received bytes are all
    // stamped with the time they were read, and the clock (the largest cost
    // of a report under a flood) is read once per read, not once per report.
    // Other threads read the clock as before. Nests, and restores the
    // enclosing batch (of any manager) when it ends. Why: a steady-clock read
    // costs about 26 ns on this VM, near the 31.5 ns of a whole report's
    // receive path, and a 4 KiB read of a flood carries some 270 reports
    // (figures of docs/performance.md).
    class ReceiveBatch {
    public:
        // A manager on a driven time opens none: its time is what run() gave it.
        explicit ReceiveBatch(MessageManager& mm) : enclosingOf(batchOf), enclosingTime(batchTime) {
            if (!mm.clockFollowed) return;
            batchTime = mm.readClock();
            batchOf = &mm;
        }
        ~ReceiveBatch() {
            batchOf = enclosingOf;
            batchTime = enclosingTime;
        }
        ReceiveBatch(const ReceiveBatch&) = delete;
        ReceiveBatch& operator=(const ReceiveBatch&) = delete;

    private:
        const MessageManager* const enclosingOf;
        const uint32_t enclosingTime;
    };
    // Called when a component joins, or a retired one is given back by its
    // last user: the main loop's next tick has work at once.
    void setWakeMainLoop(std::function<void()> wake);
    void wakeMainLoop();
    // Inline: every accepted report sets it. A flag only: the data it
    // announces is read under the components' data locks.
    void setUpdate(uint8_t id) {
        (void)id;
        if (update.load(std::memory_order_relaxed) == 0) update.store(1, std::memory_order_release);
    }
    uint8_t hasUpdate();
    void print(uint16_t timeDiff);

private:
    // Adds a placeholder with a type client for a new sender. Cold: kept out
    // of the path every report takes.
    __attribute__((cold)) void addPlaceholder(uint8_t id);

    MessageSystem* ms;
    WorldModel wm;
    TypeRequestPacer typeRequests;
    Component* ego;
    ComponentFactory factory;
    Settings settings;
    uint8_t myID;
    std::atomic<uint32_t> timeNow;
    bool clockFollowed;
    std::chrono::steady_clock::time_point clockStart;
    std::function<void()> wake;
    // The batch open on this thread (its manager, or null) and its time.
    // Initial-exec: read as one load from the thread's block, not through a
    // call, by every report on a followed clock; a few bytes of the static
    // TLS the loader keeps for libraries it opens later. __thread, not
    // thread_local: constant-initialised, so no access goes through a TLS
    // init wrapper. (Behind that wrapper's check, GCC 12 with UBSan tested a
    // stale flag as the address's null check and reported a null load.)
    static __thread const MessageManager* batchOf __attribute__((tls_model("initial-exec")));
    static __thread uint32_t batchTime __attribute__((tls_model("initial-exec")));
    uint32_t readClock() const {
        const auto elapsed = std::chrono::steady_clock::now() - clockStart;
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    }
    uint32_t timeLastRun;
    std::atomic<uint8_t> update;
    MessageDebugger* md;
};

}  // namespace ORQ
