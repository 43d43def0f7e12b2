#pragma once
// The list of known nodes (newest first). Finds a component by ID, hands each
// received message to the component of its sender, runs the components with
// timed work once per tick, and removes components that are retired (ID 0) or
// have had no accepted message for more than 300000 ms of manager time. A tick
// looks at the ages only when the oldest component can have passed the limit,
// or after a component joined or was retired; msUntilDue() tells the main loop
// when the next tick has work.
//
// Threads: the main-loop thread runs setTime()/run()/msUntilDue(); the receive
// thread calls procNewMessage(), addComponent() and replace(); host threads
// acquire components.
//
// Lock order (the whole library): world-model lock -> component data lock ->
// component update-time lock -> queue mutex / driver buffer mutex.
// The one reverse step, type discovery adding a model while it holds the
// placeholder's data lock, cannot deadlock: a component in use (users > 0) is
// never waited for by the clean-up, and whoever holds a data lock holds a use.
// A component is destroyed only under the world-model lock, after it was
// unlinked with no users, so a user never sees it destroyed.
#include <atomic>
#include <boost/thread/mutex.hpp>
#include <cstdint>

#include "Component.h"
#include "Message.h"

namespace ORQ {

class MessageManager;

class WorldModel {
public:
    static constexpr uint32_t maxAge = 300000;  // ms without an accepted message

    explicit WorldModel(MessageManager* mm);
    virtual ~WorldModel();  // destroys every component

    // Links c at the head and registers it (age 0), and wakes the main loop.
    // Takes the world-model lock.
    void addComponent(Component* c);
    // Links `typed` at the head and retires `replaced` (ID 0: no longer
    // found), in one step for the lookups. The main loop is woken when the
    // last use of `replaced` is given back, so its next tick can remove it.
    // Takes the world-model lock.
    void replace(Component* replaced, Component* typed);
    // First component with that ID (null for 0). The result may be removed by
    // the main-loop thread at any time; use acquireComponent to work on it.
    Component* getComponent(uint8_t ID);
    // Like getComponent, and raises the component's use count under the lock:
    // it is not removed before releaseComponent.
    Component* acquireComponent(uint8_t ID);
    // Gives back a use; null is ignored. The last use of a retired component
    // wakes the main loop.
    void releaseComponent(Component* c);
    // Head of the list; walk it only while holding lock().
    Component* getComponents();

    // Gives m to the component of its sender: 1 if there was one, else 0.
    uint8_t procNewMessage(Message* m);
    // Gives m to every component, each held in use during its call.
    void procNewBroadcastMessage(Message* m);

    // One tick: clean-up when due, then run() of every component; under the lock.
    void run(uint16_t timeDiff);
    // Removes retired and silent components; caller holds the lock.
    void deleteOldComponents();
    // ms of manager time from the last tick until the next tick has work: a
    // timed handler, a clean-up or the oldest component passing the age
    // limit (Component::nothingDue: none). Main-loop thread, after run().
    uint32_t msUntilDue();

    void setTime(uint32_t time);
    uint32_t getTime();
    void lock();
    void unlock();
    void print();  // "Component ID n type t" per component; takes the lock

private:
    boost::mutex mutex;
    MessageManager* mm;
    Component* components;
    // Registers c and links it at the head; caller holds the lock.
    void linkFirst(Component* c);

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
