#include "node/Component.h"

#include <algorithm>
#include <chrono>

#include "routing/MessageManager.h"
#include "routing/WorldModel.h"

namespace ORQ {

Component::Component(uint8_t id, std::chrono::milliseconds dataLockLimit)
    : ID(id),
      newID(0),
      mh(nullptr),
      type(0),
      updateTime(0),
      lastSendTime(0),
      recvMessageCounter(0),
      sendMessageCounter(0),
      mm(nullptr),
      next(nullptr),
      listedIn(nullptr),
      mutexData(dataLockLimit),
      users(0),
      timedHandlers(0),
      ownedHandler(nullptr),
      handlerCount(0),
      firstOfAny(0),
      firstOfType{},
      handlers{} {}

Component::~Component() { delete ownedHandler; }

void Component::setMessageManager(MessageManager* manager) {
    mm = manager;
    updateTime = mm->getTime();
}

int Component::deviceCode() const { return -1; }

bool Component::addMessageHandler(MessageHandler* handler) {
    if (handlerCount == maxHandlers) return false;
    handlers[++handlerCount] = handler;
    uint8_t& first = handler->takesReports ? firstOfType[handler->dataTypeSet] : firstOfAny;
    handler->nextOffered = first;
    first = handlerCount;
    handler->next = mh;
    mh = handler;
    handler->setComponent(this);
    if (handler->hasTimedWork() && ++timedHandlers == 1 && listedIn != nullptr) listedIn->addTimed(this);
    return true;
}

bool Component::adoptMessageHandler(MessageHandler* handler) {
    if (!addMessageHandler(handler)) return false;
    ownedHandler = handler;
    return true;
}

inline void Component::renew(uint8_t id) {
    mm->setUpdate(id);
    updateTime.store(mm->getTime(), std::memory_order_release);
}

void Component::setUpdate() { renew(ID); }

uint8_t Component::procNewMessage(Message* m) {
    // Without the lock the handlers must not touch the fields; the message is
    // dropped rather than waiting longer (the callers ignore the result).
    if (!mutexData.tryLockWithinLimit()) return 0;
    const std::lock_guard<DataLock> held(mutexData, std::adopt_lock);
    // ID changes only under the data lock, held here.
    const uint8_t id = ID.load(std::memory_order_relaxed);
    uint8_t taken = 0;
    // The handlers of a type take reports from the component's own ID only:
    // the sender is checked once for all of them.
    if (m->senderID == id) {
        ++recvMessageCounter;
        for (uint8_t slot = firstOfType[m->dataType]; slot != 0;) {
            MessageHandler* h = handlers[slot];
            if (h->fits(*m)) taken |= h->take(*m);
            slot = h->nextOffered;
        }
    }
    for (uint8_t slot = firstOfAny; slot != 0;) {
        MessageHandler* h = handlers[slot];
        taken |= h->take(*m);
        slot = h->nextOffered;
    }
    if (taken != 0) renew(id);
    return 0;
}

void Component::run(uint16_t timeDiff) {
    if (timedHandlers == 0) return;
    for (MessageHandler* h = mh; h != nullptr; h = h->next) {
        if (h->hasTimedWork()) h->run(timeDiff);
    }
}

uint32_t Component::msUntilDue(uint32_t now) {
    uint32_t due = nothingDue;
    if (timedHandlers == 0) return due;
    for (MessageHandler* h = mh; h != nullptr; h = h->next) {
        if (h->hasTimedWork()) due = std::min(due, h->msUntilDue(now));
    }
    return due;
}


uint32_t Component::getUpdateTime() {
    // The stamp is read before the clock, and every stamp was read from the
    // clock before it was stored (release/acquire): a stamp renewed by the
    // receive thread meanwhile is never later than the time it is compared
    // with, so an age never wraps to 2^32 - 1.
    const uint32_t stamp = updateTime.load(std::memory_order_acquire);
    return mm->getTime() - stamp;  // modulo 2^32: right across the wrap
}

uint32_t Component::getlastSendTime() { return mm->getTime() - lastSendTime; }

uint8_t Component::isAlive() { return getUpdateTime() < aliveAge ? 1 : 0; }

uint8_t Component::getEgoID() { return mm->getMyID(); }

bool Component::send(Message* m) {
    ++sendMessageCounter;
    lastSendTime = mm->getTime();
    return mm->send(m);
}

WorldModel* Component::getWorldModel() { return mm->getWorldModel(); }

std::unique_lock<DataLock> Component::lockData() {
    // The limit is measured on the steady clock, so a change of the system
    // time neither stretches nor cuts the wait.
    if (!mutexData.tryLockWithinLimit()) return std::unique_lock<DataLock>();
    return std::unique_lock<DataLock>(mutexData, std::adopt_lock);
}

}  // namespace ORQ
