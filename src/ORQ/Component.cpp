#include "Component.h"

#include <algorithm>
#include <chrono>

#include "MessageManager.h"
#include "WorldModel.h"

namespace ORQ {

Component::Component(uint8_t id)
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

bool Component::addMessageHandler(MessageHandler* handler) {
    if (handlerCount == maxHandlers) return false;
    handlers[handlerCount++] = handler;
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

void Component::setUpdate() {
    mm->setUpdate(ID);
    // Only a time: nothing else is published through it.
    updateTime.store(mm->getTime(), std::memory_order_relaxed);
}

uint8_t Component::procNewMessage(Message* m) {
    // Without the lock the handlers must not touch the fields; the message is
    // dropped rather than waiting longer (the callers ignore the result).
    if (!mutexData.try_lock() && !mutexData.try_lock_for(std::chrono::milliseconds(lockTimeoutMs))) return 0;
    const std::lock_guard<DataLock> held(mutexData, std::adopt_lock);
    if (m->senderID == ID) ++recvMessageCounter;
    uint8_t taken = 0;
    for (uint8_t slot = firstOfType[m->dataType]; slot != 0; slot = handlers[slot - 1]->nextOffered) {
        taken |= handlers[slot - 1]->procNewMessage(m);
    }
    for (uint8_t slot = firstOfAny; slot != 0; slot = handlers[slot - 1]->nextOffered) {
        taken |= handlers[slot - 1]->procNewMessage(m);
    }
    if (taken != 0) setUpdate();
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
    return mm->getTime() - updateTime;  // modulo 2^32: right across the wrap
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
    // A free lock is taken at once, without reading the clock for a deadline.
    std::unique_lock<DataLock> held(mutexData, std::try_to_lock);
    // The limit is measured on the steady clock, so a change of the system
    // time neither stretches nor cuts the wait.
    if (!held.owns_lock()) held.try_lock_for(std::chrono::milliseconds(lockTimeoutMs));
    return held;
}

}  // namespace ORQ
