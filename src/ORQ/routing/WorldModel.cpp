#include "routing/WorldModel.h"

#include <algorithm>

#include "log/LogLine.h"
#include "routing/MessageManager.h"

namespace ORQ {

WorldModel::WorldModel(MessageManager* manager)
    : mm(manager),
      components(nullptr),
      byID{},
      receiving(nullptr),
      timeNow(0),
      cleanupNow(false),
      cleanupScheduled(false),
      cleanupAt(0) {}

WorldModel::~WorldModel() {
    while (Component* c = components) {
        components = c->next;
        delete c;
    }
    for (Component* c : unlinkedClaimed) delete c;
}

void WorldModel::addComponent(Component* c) {
    {
        std::lock_guard<std::mutex> guard(mutex);
        linkFirst(c);
    }
    mm->wakeMainLoop();
}

void WorldModel::replace(Component* replaced, Component* typed) {
    std::lock_guard<std::mutex> guard(mutex);
    linkFirst(typed);
    replaced->ID = 0;
}

void WorldModel::linkFirst(Component* c) {
    c->setMessageManager(mm);
    c->next = components;
    components = c;
    c->listedIn = this;
    if (c->hasTimedWork()) timed.push_back(c);
    if (c->ID != 0) byID[c->ID] = c;
    cleanupNow = true;
}

Component* WorldModel::find(uint8_t id) {
    if (id == 0) return nullptr;
    Component* c = byID[id].load();
    if (c == nullptr || c->ID == id) return c;
    // Retired since it was indexed: the next one with the ID, if any.
    for (c = c->next; c != nullptr && c->ID != id; c = c->next) {
    }
    byID[id] = c;
    return c;
}

Component* WorldModel::getComponent(uint8_t id) {
    std::lock_guard<std::mutex> guard(mutex);
    return find(id);
}

ComponentRef WorldModel::acquireComponent(uint8_t id) {
    std::lock_guard<std::mutex> guard(mutex);
    return ComponentRef(find(id));
}

void WorldModel::wakeForRetired() { mm->wakeMainLoop(); }

uint8_t WorldModel::procNewMessageInUse(Message* m) {
    const ComponentRef c = acquireComponent(m->senderID);
    if (!c) return 0;
    // Outside the world-model lock: the handlers may add components.
    c->procNewMessage(m);
    return 1;
}

void WorldModel::procNewBroadcastMessage(Message* m) {
    // Each component is held in use while it processes the message, so it
    // stays in the list and its `next` (read under the lock) stays valid.
    std::unique_lock<std::mutex> guard(mutex);
    for (Component* c = components; c != nullptr;) {
        const ComponentRef held(c);
        guard.unlock();
        held->procNewMessage(m);
        guard.lock();
        c = c->next;
    }
}

void WorldModel::run(uint16_t timeDiff) {
    std::lock_guard<std::mutex> guard(mutex);
    if (cleanupNow || (cleanupScheduled && static_cast<int32_t>(timeNow - cleanupAt) >= 0)) deleteOldComponents();
    for (auto c = timed.rbegin(); c != timed.rend(); ++c) (*c)->run(timeDiff);
}

void WorldModel::addTimed(Component* c) {
    std::lock_guard<std::mutex> guard(mutex);
    timed.push_back(c);
}

uint32_t WorldModel::msUntilDue() {
    std::lock_guard<std::mutex> guard(mutex);
    const uint32_t now = timeNow;
    if (cleanupNow) return 0;
    uint32_t due = Component::nothingDue;
    if (cleanupScheduled) {
        const int32_t left = static_cast<int32_t>(cleanupAt - now);
        due = left > 0 ? static_cast<uint32_t>(left) : 0;
    }
    for (Component* c : timed) due = std::min(due, c->msUntilDue(now));
    return due;
}

void WorldModel::deleteOldComponents() {
    cleanupNow = false;
    // Left for a later tick unless the walk below reaches the end.
    cleanupScheduled = true;
    cleanupAt = timeNow + MessageHandler::defaultPeriodMs;
    Component* const claimed = receiving.load();
    const auto unclaimed = std::partition(unlinkedClaimed.begin(), unlinkedClaimed.end(),
                                          [claimed](const Component* c) { return c == claimed; });
    for (auto c = unclaimed; c != unlinkedClaimed.end(); ++c) delete *c;
    unlinkedClaimed.erase(unclaimed, unlinkedClaimed.end());
    for (;;) {
        Component* prev = nullptr;
        Component* c = components;
        uint32_t oldest = 0;  // greatest age among the components kept
        while (c != nullptr && c->ID != 0) {
            const uint32_t age = c->getUpdateTime();  // on the manager's time: c is listed
            if (age > maxAge) break;
            oldest = std::max(oldest, age);
            prev = c;
            c = c->next;
        }
        if (c == nullptr) {
            if (!unlinkedClaimed.empty()) return;  // at the retry above
            cleanupScheduled = components != nullptr;
            cleanupAt = timeNow + (maxAge - oldest) + 1;
            return;
        }
        {
            ComponentRef held(c);
            // A component in use is never waited for: its user may be waiting
            // for the world-model lock (type discovery adding a model). Uses
            // are only raised under this lock, so none can appear meanwhile.
            if (c->useCount() != 1) return;
            // Its data lock may be held without a use: by the receive path,
            // which may be waiting for this lock to replace it. Not waited
            // for either: next tick.
            if (!held.tryLock()) return;
            // Logged only here: a component left for a later tick is not gone.
            logLine("[WorldModel] deleteOldComponents id ", static_cast<unsigned>(c->ID));
            unlink(c, prev);
        }
        // Unindexed now: a receive thread that has not claimed it yet will
        // not find it any more.
        if (receiving.load() == c) {
            unlinkedClaimed.push_back(c);
        } else {
            delete c;
        }
    }
}

void WorldModel::unlink(Component* c, Component* prev) {
    if (prev == nullptr) {
        components = c->next;
    } else {
        prev->next = c->next;
    }
    // Whatever ID c had when it was indexed: the next one in the list with
    // that ID, if any, takes its place.
    for (std::size_t id = 1; id < byID.size(); ++id) {
        if (byID[id] != c) continue;
        Component* older = c->next;
        while (older != nullptr && older->ID != id) older = older->next;
        byID[id] = older;
    }
    c->next = nullptr;
    c->listedIn = nullptr;
    timed.erase(std::remove(timed.begin(), timed.end(), c), timed.end());
}

void WorldModel::setTime(uint32_t time) { timeNow = time; }

uint32_t WorldModel::getTime() { return timeNow; }

void WorldModel::print() {
    forEach([](const Component& c) {
        logLine("Component ID ", static_cast<unsigned>(c.ID), " type ", static_cast<unsigned>(c.type));
    });
}

}  // namespace ORQ
