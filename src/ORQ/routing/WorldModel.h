#pragma once
// The list of known nodes (newest first). Finds a component by ID, hands each
// received message to the component of its sender, runs the components with
// timed work once per tick (kept apart, so a tick costs the same however many
// typed boards are mirrored: they have none), and removes components that are retired (ID 0) or
// have had no accepted message for more than 300000 ms of manager time. A tick
// looks at the ages only when the oldest component can have passed the limit,
// or after a component joined or was retired; msUntilDue() tells the main loop
// when the next tick has work. The list and an index by ID are its own:
// others reach components through a ComponentRef (acquireComponent) or, under
// the lock, through forEach.
//
// Threads: the main-loop thread runs setTime()/run()/msUntilDue(); the receive
// thread calls procNewMessage(), addComponent() and replace(); host threads
// acquire components.
//
// Lock order (the whole library): world-model lock -> component data lock ->
// queue mutex / driver buffer mutex.
// The one reverse step, type discovery adding a model while it holds the
// placeholder's data lock, cannot deadlock: the clean-up never waits for a
// component in use nor for a data lock (it only tries it), and whoever holds
// a data lock holds a use or the receive path's claim. The step exists
// because an ID changes only under the component's data lock, the reply that
// retires a placeholder arrives there, and the lookups must see the model
// and the retirement in one step.
// A component is destroyed only under the world-model lock, after it was
// unlinked with no users and while no receive thread hands it a message, so
// nobody sees it destroyed.
//
// The receive path finds the sender's component without the world-model
// lock: it claims `receiving` for it (one receiving thread at a time; another
// one takes a use under the lock instead) and then checks that the index
// still names it. The clean-up unindexes a component before it looks at
// `receiving` (both sequentially consistent), so either the receive path sees
// the component gone or the clean-up sees it claimed and leaves its
// destruction to a later clean-up. Why: a report then takes neither the lock
// nor a use: 107 instructions fewer a report (465 against 572 when it was
// measured, bench/profile.sh, Release, with and without the claim); the
// deferred destruction is the price.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "node/Component.h"
#include "routing/ComponentRef.h"
#include "wire/Message.h"

namespace ORQ {

class MessageManager;

class WorldModel {
public:
    static constexpr uint32_t maxAge = 300000;  // ms without an accepted message

    explicit WorldModel(MessageManager* mm);
    virtual ~WorldModel();  // destroys every component
    WorldModel(const WorldModel&) = delete;
    WorldModel& operator=(const WorldModel&) = delete;

    // Links c at the head and registers it (age 0), and wakes the main loop;
    // the world model owns c from here on. Takes the world-model lock.
    void addComponent(Component* c);
    // Links `typed` at the head and retires `replaced` (ID 0: no longer
    // found), in one step for the lookups. The main loop is woken when the
    // last use of `replaced` is given back (see ComponentRef), so its next
    // tick can remove it. Takes the world-model lock.
    void replace(Component* replaced, Component* typed);
    // The newest component with that ID (null for 0). The result may be
    // removed by the main-loop thread at any time: for that thread and for
    // single-threaded tests; everyone else uses acquireComponent.
    Component* getComponent(uint8_t ID);
    // The newest component with that ID, held in use (empty for 0 or none):
    // it is not removed before the ref is gone.
    ComponentRef acquireComponent(uint8_t ID);

    // Gives m to the component of its sender: 1 if there was one, else 0.
    // Takes the world-model lock only for a sender not found in the index.
    // Inline: every received report takes it.
    uint8_t procNewMessage(Message* m) {
        const uint8_t id = m->senderID;
        Component* const indexed = id != 0 ? byID[id].load() : nullptr;
        Component* unclaimed = nullptr;
        if (indexed != nullptr && receiving.compare_exchange_strong(unclaimed, indexed)) {
            // Claimed: if the index still names it, no clean-up destroys it
            // until the claim is given back. If it does not, a clean-up may
            // have destroyed it before the claim: it is not touched at all.
            const bool current = byID[id].load() == indexed && indexed->ID == id;
            bool retired = false;
            if (current) {
                indexed->procNewMessage(m);
                // Read before the claim goes: from then on it may be destroyed.
                retired = indexed->ID == 0;
            }
            receiving.store(nullptr, std::memory_order_release);
            // A model replaced it during the message: the main loop removes it.
            if (retired) wakeForRetired();
            if (current) return 1;
        }
        return procNewMessageInUse(m);
    }
    // Gives m to every component, each held in use during its call.
    void procNewBroadcastMessage(Message* m);

    // One tick: clean-up when due, then run() of every component with timed
    // work, newest first; under the lock.
    void run(uint16_t timeDiff);
    // ms of manager time from the last tick until the next tick has work: a
    // timed handler, a clean-up or the oldest component passing the age
    // limit (Component::nothingDue: none). Main-loop thread, after run().
    uint32_t msUntilDue();

    // Calls visit(Component&) for every component, newest first, under the
    // world-model lock: every component stays alive meanwhile, but its data
    // lock is not held. A visit may try that lock but never wait for it
    // (type discovery holds a placeholder's data lock while it waits for the
    // world-model lock), and must not call back into the world model.
    template <class Visit>
    void forEach(Visit visit) {
        std::lock_guard<std::mutex> guard(mutex);
        for (Component* c = components; c != nullptr; c = c->next) visit(*c);
    }

    void setTime(uint32_t time);
    uint32_t getTime();
    void print();  // "Component ID n type t" per component; takes the lock

private:
    // The newest component with that ID, or null; lock held.
    Component* find(uint8_t id);
    // procNewMessage for a sender the index does not name (or while another
    // thread holds the claim): under a use taken with the lock.
    uint8_t procNewMessageInUse(Message* m);
    void wakeForRetired();  // wakes the main loop
    // Removes retired and silent components; lock held.
    void deleteOldComponents();
    // Registers c and links it at the head; lock held.
    void linkFirst(Component* c);
    // Unlinks c (prev: the one before it, null at the head); lock held.
    void unlink(Component* c, Component* prev);
    // c, in the list, got its first handler with timed work; takes the lock.
    void addTimed(Component* c);
    friend class Component;  // addTimed

    std::mutex mutex;
    MessageManager* mm;
    Component* components;  // newest first
    // byID[i]: the newest component added with ID i, or null when there is
    // none. A component retired since (ID 0) may still sit there until the
    // next lookup of i finds it out and looks for an older one in the list.
    // Written under the lock; read without it by the receive path.
    std::array<std::atomic<Component*>, 256> byID;
    // The component a receive thread is handing a message to without a use,
    // or null.
    std::atomic<Component*> receiving;
    // Unlinked while claimed by `receiving`: destroyed by a later clean-up.
    std::vector<Component*> unlinkedClaimed;
    // The components in the list with timed work, oldest first: a component
    // is here from its first timed handler (or its linking, when it had one
    // before) until it is unlinked.
    std::vector<Component*> timed;
    std::atomic<uint32_t> timeNow;
    // Clean-up schedule, under the lock: a clean-up is due at the next tick
    // when cleanupNow (a component joined or was retired), else, with
    // cleanupScheduled, once manager time reaches cleanupAt: when the oldest
    // component passes the limit, or a retry after MessageHandler::
    // defaultPeriodMs for a component the last clean-up had to leave. Ages
    // only ever shrink by an update, and a joining component is the youngest,
    // so no removal is missed in between.
    bool cleanupNow;
    bool cleanupScheduled;
    uint32_t cleanupAt;
};

}  // namespace ORQ
