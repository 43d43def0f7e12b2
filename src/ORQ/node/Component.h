#pragma once
// Model of one node of the network: a remote device, a placeholder for a
// sender of unknown type, or the local node itself. Carries its handlers (a
// chain, whose timed ones run once per tick, and an index by data type, built
// as each handler is added, that every received message is dispatched
// through) and the time of its last update.
//
// Threads: the receive thread calls procNewMessage(); the main-loop thread
// calls run() (under the world-model lock); host threads work on a component
// through a ComponentRef, which holds a use and the data lock. Every field of
// a device model is guarded by the data lock (at most its wait limit, 1000 ms
// unless a test gives less, on a monotonic clock); only a ComponentRef and
// procNewMessage take it.
// updateTime is atomic: ageing and the host read it without the data lock.
//
// Lifetime: users found the component through WorldModel::acquireComponent and
// hold a use (a ComponentRef); the world model never removes a component in use.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "node/DataLock.h"
#include "wire/Message.h"
#include "node/MessageHandler.h"

namespace ORQ {

class MessageManager;
class WorldModel;

class Component {
public:
    static constexpr uint32_t aliveAge = 500;     // ms: isAlive() below this age

    // dataLockLimit: the longest wait for the data lock (tests shorten it).
    explicit Component(uint8_t id, std::chrono::milliseconds dataLockLimit = DataLock::defaultWaitLimit);
    virtual ~Component();  // handlers are not touched, but for the adopted one

    // The type code of the device whose model this class is, or -1 for a
    // plain component (a placeholder waiting for its type reply, which
    // carries type 0 too, or the local node). Only the class of a typed
    // model answers its code, so a data map may take a component answering
    // its code for that class. Set by the class, any thread.
    virtual int deviceCode() const;

    // Registers with the manager and starts the age at 0.
    void setMessageManager(MessageManager* mm);
    static constexpr uint32_t nothingDue = UINT32_MAX;  // msUntilDue: no timed work

    static constexpr uint8_t maxHandlers = 32;

    // Links mh in front of the chain, indexes it by the data type of the
    // reports it takes (or among the handlers offered every message, when it
    // names none) and calls mh->setComponent(this). The first handler with
    // timed work makes a component in a world model one of those its tick
    // runs (takes the world-model lock then). False, with nothing changed,
    // when the component has maxHandlers already.
    bool addMessageHandler(MessageHandler* mh);
    // Like addMessageHandler, and the component destroys mh with itself
    // (one adopted handler per component: the placeholder's type client).
    bool adoptMessageHandler(MessageHandler* mh);

    // Takes the data lock (a message that cannot get it within the wait
    // limit is dropped); for a message from the component's own ID, counts
    // it and hands it to each handler of its data type whose shape it fits; then
    // hands it to those naming no type (each group in chain order, head to
    // tail); renews the update time when a store() counted it; unlocks.
    // Returns 0.
    virtual uint8_t procNewMessage(Message* m);
    // run() of every handler with timed work, head to tail; nothing at all
    // for a component without such handlers (a typed model).
    void run(uint16_t timeDiff);
    // ms of manager time from `now` until a handler's timed work is due
    // (nothingDue without such handlers). Main-loop thread.
    uint32_t msUntilDue(uint32_t now);

    void setUpdate();                // mm->setUpdate(ID); updateTime = manager time
    uint32_t getUpdateTime();        // age of the data in ms (mod 2^32)
    uint32_t getlastSendTime();      // ms since the last send (mod 2^32)
    uint8_t isAlive();               // 1 when getUpdateTime() < 500
    uint8_t getEgoID();              // the library's own ID: sender of what we send
    // Counts, stamps, hands m to the manager (copied); true when queued.
    bool send(Message* m);
    WorldModel* getWorldModel();
    // Number of ComponentRefs held on the component (any thread).
    uint16_t useCount() const { return users.load(); }
    // True when a handler on the chain has timed work.
    bool hasTimedWork() const { return timedHandlers != 0; }

    std::atomic<uint8_t> ID;  // 0: retired, never found by lookups
    uint8_t newID;
    MessageHandler* mh;
    uint8_t type;  // 0 ground station / plain component, 1 flight board
    std::atomic<uint32_t> updateTime;  // manager time of the last update
    std::atomic<uint32_t> lastSendTime;
    int16_t recvMessageCounter;
    std::atomic<int16_t> sendMessageCounter;
    MessageManager* mm;

private:
    friend class ComponentRef;  // takes uses and the data lock
    friend class WorldModel;    // keeps the list through `next`

    // The data lock, taken at once when free, else within its wait limit on
    // a monotonic clock; the result does not own the lock on a timeout.
    std::unique_lock<DataLock> lockData();

    Component* next;  // the world model's list; guarded by the world-model lock
    WorldModel* listedIn;  // the world model whose list holds the component, or null
    DataLock mutexData;
    // Number of ComponentRefs held; raised under the world-model lock while
    // the component is in the world model, so the clean-up, which holds it,
    // sees every use.
    std::atomic<uint16_t> users;
    uint8_t timedHandlers;         // handlers on the chain with timed work
    MessageHandler* ownedHandler;  // adopted handler, destroyed with the component
    // The index: handlers[i] is the handler added i-th (slot i, from 1). A
    // list starts at firstOfType[t] (the handlers taking reports of data type
    // t) or at firstOfAny (those naming no type), and goes on through each
    // handler's nextOffered; slot 0 ends it. The newest handler of a list is
    // its first, as on the chain.
    uint8_t handlerCount;
    uint8_t firstOfAny;
    std::array<uint8_t, 256> firstOfType;
    MessageHandler* handlers[maxHandlers + 1];  // [0]: no handler

    // setUpdate() for the component's ID `id`. updateTime publishes nothing
    // but itself; its release pairs with getUpdateTime().
    void renew(uint8_t id);
};

}  // namespace ORQ
