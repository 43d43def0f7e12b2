#pragma once
// Model of one node of the network: a remote device, a placeholder for a
// sender of unknown type, or the local node itself. Carries a chain of
// handlers (each received message is offered to all of them) and the time of
// its last update.
//
// Threads: the receive thread calls procNewMessage(); the main-loop thread
// calls run() (under the world-model lock); host threads lock the component
// and read/write its fields. Every field of a device model is guarded by the
// data lock (lock()/unlock(), at most 1000 ms of waiting, on a monotonic
// clock). updateTime is guarded by mutexUpdateTime, taken inside the data lock
// or the world-model lock, never the other way round.
//
// Lifetime: users found the component through WorldModel::acquireComponent and
// hold a use (`users`); the world model never removes a component in use.
#include <atomic>
#include <boost/thread/mutex.hpp>  // boost::mutex and boost::timed_mutex
#include <cstdint>

#include "Message.h"
#include "MessageHandler.h"

namespace ORQ {

class MessageManager;
class WorldModel;

class Component {
public:
    static constexpr uint32_t aliveAge = 500;     // ms: isAlive() below this age
    static constexpr uint32_t lockTimeoutMs = 1000;

    explicit Component(uint8_t id);
    virtual ~Component();  // destroys `next` (the rest of the list); handlers are not touched

    // Registers with the manager and starts the age at 0.
    void setMessageManager(MessageManager* mm);
    static constexpr uint32_t nothingDue = UINT32_MAX;  // msUntilDue: no timed work

    // Links mh in front of the chain and calls mh->setComponent(this).
    void addMessageHandler(MessageHandler* mh);
    // Like addMessageHandler, and the component destroys mh with itself
    // (one adopted handler per component: the placeholder's type client).
    void adoptMessageHandler(MessageHandler* mh);

    // Takes the data lock (a message that cannot get it in 1000 ms is
    // dropped), counts a message from the component's own ID, offers m to
    // every handler head to tail, unlocks. Returns 0.
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

    bool lock();    // data lock, waiting at most 1000 ms; false on timeout
    void unlock();

    Component* next;
    std::atomic<uint8_t> ID;  // 0: retired, never found by lookups
    uint8_t newID;
    MessageHandler* mh;
    uint8_t type;  // 0 ground station / plain component, 1 flight board
    uint32_t updateTime;
    std::atomic<uint32_t> lastSendTime;
    int16_t recvMessageCounter;
    std::atomic<int16_t> sendMessageCounter;
    boost::mutex mutexUpdateTime;
    boost::timed_mutex mutexData;
    MessageManager* mm;

    // Number of threads using the component; raised and checked only under
    // the world-model lock, lowered by WorldModel::releaseComponent.
    std::atomic<uint16_t> users;

protected:
    // For a model whose every handler ignores all messages but those of one
    // data type of its own: slotByType[t] (256 entries) is 0, or 1 + the
    // index in `slots` of the handler of data type t. Both are kept by the
    // model for its whole life; slotByType is one table shared by every model
    // of a kind, so the index costs a model no more than its `slots`. While
    // the chain is still the one it had at this call, procNewMessage offers a
    // message only to the handler of its data type, since every other one
    // would ignore it; once a handler has been added it offers every message
    // to every handler.
    void indexHandlers(const uint8_t* slotByType, MessageHandler* const* slots);

private:
    uint8_t timedHandlers;         // handlers on the chain with timed work
    MessageHandler* ownedHandler;  // adopted handler, destroyed with the component
    const uint8_t* slotByType;     // null: no index
    MessageHandler* const* slots;
    MessageHandler* indexedChain;          // head of the chain the index describes
};

}  // namespace ORQ
