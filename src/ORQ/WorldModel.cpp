#include "WorldModel.h"

#include <algorithm>

#include "LogLine.h"
#include "MessageManager.h"

namespace ORQ {

namespace {

// ms of manager time `c` has had no accepted message, modulo 2^32 (right
// when the manager time wraps). Read under the update-time lock, like the
// update itself, so an update and this reading never cross.
uint32_t ageOf(Component* c, MessageManager* mm) {
    boost::mutex::scoped_lock guard(c->mutexUpdateTime);
    return mm->getTime() - c->updateTime;
}

}  // namespace

WorldModel::WorldModel(MessageManager* manager)
    : mm(manager), components(nullptr), timeNow(0), cleanupNow(false), cleanupScheduled(false), cleanupAt(0) {}

WorldModel::~WorldModel() { delete components; }

void WorldModel::addComponent(Component* c) {
    {
        boost::mutex::scoped_lock guard(mutex);
        linkFirst(c);
    }
    mm->wakeMainLoop();
}

void WorldModel::replace(Component* replaced, Component* typed) {
    boost::mutex::scoped_lock guard(mutex);
    linkFirst(typed);
    replaced->ID = 0;
}

void WorldModel::linkFirst(Component* c) {
    c->setMessageManager(mm);
    c->next = components;
    components = c;
    cleanupNow = true;
}

Component* WorldModel::getComponent(uint8_t id) {
    if (id == 0) return nullptr;
    boost::mutex::scoped_lock guard(mutex);
    for (Component* c = components; c != nullptr; c = c->next) {
        if (c->ID == id) return c;
    }
    return nullptr;
}

Component* WorldModel::acquireComponent(uint8_t id) {
    if (id == 0) return nullptr;
    boost::mutex::scoped_lock guard(mutex);
    for (Component* c = components; c != nullptr; c = c->next) {
        if (c->ID == id) {
            ++c->users;
            return c;
        }
    }
    return nullptr;
}

void WorldModel::releaseComponent(Component* c) {
    if (c == nullptr) return;
    // A retired component given back by its last user can now be removed.
    // Its ID is read while the use still holds it: once the count is down,
    // the main loop may destroy it at any moment.
    const bool retired = c->ID == 0;
    if (--c->users == 0 && retired) mm->wakeMainLoop();
}

Component* WorldModel::getComponents() { return components; }

uint8_t WorldModel::procNewMessage(Message* m) {
    Component* c = acquireComponent(m->senderID);
    if (c == nullptr) return 0;
    // Outside the world-model lock: the handlers may add components.
    c->procNewMessage(m);
    releaseComponent(c);
    return 1;
}

void WorldModel::procNewBroadcastMessage(Message* m) {
    // Each component is held in use while it processes the message, so it
    // stays in the list and its `next` (read under the lock) stays valid.
    boost::mutex::scoped_lock guard(mutex);
    Component* c = components;
    if (c != nullptr) ++c->users;
    while (c != nullptr) {
        guard.unlock();
        c->procNewMessage(m);
        guard.lock();
        Component* following = c->next;
        if (following != nullptr) ++following->users;
        --c->users;
        c = following;
    }
}

void WorldModel::run(uint16_t timeDiff) {
    boost::mutex::scoped_lock guard(mutex);
    if (cleanupNow || (cleanupScheduled && static_cast<int32_t>(timeNow - cleanupAt) >= 0)) deleteOldComponents();
    for (Component* c = components; c != nullptr; c = c->next) c->run(timeDiff);
}

uint32_t WorldModel::msUntilDue() {
    boost::mutex::scoped_lock guard(mutex);
    const uint32_t now = timeNow;
    if (cleanupNow) return 0;
    uint32_t due = Component::nothingDue;
    if (cleanupScheduled) {
        const int32_t left = static_cast<int32_t>(cleanupAt - now);
        due = left > 0 ? static_cast<uint32_t>(left) : 0;
    }
    for (Component* c = components; c != nullptr; c = c->next) due = std::min(due, c->msUntilDue(now));
    return due;
}

void WorldModel::deleteOldComponents() {
    cleanupNow = false;
    // Left for a later tick unless the walk below reaches the end.
    cleanupScheduled = true;
    cleanupAt = timeNow + MessageHandler::defaultPeriodMs;
    for (;;) {
        Component* prev = nullptr;
        Component* c = components;
        uint32_t oldest = 0;  // greatest age among the components kept
        while (c != nullptr && c->ID != 0) {
            const uint32_t age = ageOf(c, mm);
            if (age > maxAge) break;
            oldest = std::max(oldest, age);
            prev = c;
            c = c->next;
        }
        if (c == nullptr) {
            cleanupScheduled = components != nullptr;
            cleanupAt = timeNow + (maxAge - oldest) + 1;
            return;
        }

        logLine("[WorldModel] deleteOldComponents id ", static_cast<unsigned>(c->ID));
        // A component in use is never waited for: its user may be waiting for
        // the world-model lock (type discovery adding a model). Uses are only
        // raised under this lock, so none can appear while we wait below.
        if (c->users != 0) return;
        if (!c->lock()) return;  // held by a thread without a use: next tick

        if (prev == nullptr) {
            components = c->next;
        } else {
            prev->next = c->next;
        }
        c->next = nullptr;  // destroy c alone, not the rest of the list
        c->unlock();
        delete c;
    }
}

void WorldModel::setTime(uint32_t time) { timeNow = time; }

uint32_t WorldModel::getTime() { return timeNow; }

void WorldModel::lock() { mutex.lock(); }

void WorldModel::unlock() { mutex.unlock(); }

void WorldModel::print() {
    boost::mutex::scoped_lock guard(mutex);
    for (Component* c = components; c != nullptr; c = c->next) {
        logLine("Component ID ", static_cast<unsigned>(c->ID), " type ", static_cast<unsigned>(c->type));
    }
}

}  // namespace ORQ
