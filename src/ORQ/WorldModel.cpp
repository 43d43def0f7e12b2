#include "WorldModel.h"

#include "LogLine.h"
#include "MessageManager.h"

namespace ORQ {

namespace {

// Retired (ID 0) or silent for more than maxAge ms. The age is a difference
// modulo 2^32, so it stays right when the manager time wraps.
bool isToRemove(Component* c, uint32_t now) {
    if (c->ID == 0) return true;
    boost::mutex::scoped_lock guard(c->mutexUpdateTime);
    return static_cast<uint32_t>(now - c->updateTime) > WorldModel::maxAge;
}

}  // namespace

WorldModel::WorldModel(MessageManager* manager) : mm(manager), components(nullptr), timeNow(0) {}

WorldModel::~WorldModel() { delete components; }

void WorldModel::addComponent(Component* c) {
    c->setMessageManager(mm);
    boost::mutex::scoped_lock guard(mutex);
    c->next = components;
    components = c;
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
    if (c != nullptr) --c->users;
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
    deleteOldComponents();
    for (Component* c = components; c != nullptr; c = c->next) c->run(timeDiff);
}

void WorldModel::deleteOldComponents() {
    const uint32_t now = mm->getTime();
    for (;;) {
        Component* prev = nullptr;
        Component* c = components;
        while (c != nullptr && !isToRemove(c, now)) {
            prev = c;
            c = c->next;
        }
        if (c == nullptr) return;

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
