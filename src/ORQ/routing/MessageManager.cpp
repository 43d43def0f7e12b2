#include "routing/MessageManager.h"

#include <algorithm>
#include <utility>

#include "log/LogLine.h"
#include "routing/MessageHandlerTypeClient.h"

namespace ORQ {

MessageManager::MessageManager()
    : ms(nullptr),
      wm(this),
      typeRequests(),
      ego(nullptr),
      factory(nullptr),
      settings(),
      myID(0),
      timeNow(0),
      clockFollowed(false),
      timeLastRun(0),
      update(0),
      md(nullptr) {}

MessageManager::~MessageManager() {}

uint32_t MessageManager::run(uint32_t time) {
    timeNow = time;
    // 16-bit tick length: ticks further apart than 65535 ms pass the distance
    // modulo 65536, the handlers only count short periods with it.
    const uint16_t timeDiff = static_cast<uint16_t>(time - timeLastRun);
    wm.setTime(time);

    uint32_t due = Component::nothingDue;
    for (MessageSystem* s = ms; s != nullptr; s = s->next) {
        // An auto-mode system only learns of new bytes by polling the link.
        if (s->isAutoSend() || s->isAutoRecv()) due = MessageHandler::defaultPeriodMs;
        s->run();
        if (!s->isAutoRecv()) continue;
        while (Message* m = s->getNewMessage()) {
            procMessage(m, s);
            delete m;
        }
    }

    if (ego != nullptr) ego->run(timeDiff);
    // The type requests of this tick share the room left in the queue that
    // send() uses.
    if (ms != nullptr) {
        typeRequests.tick(timeDiff, ms->getMessageQueue()->getElementCount(), MessageQueue::maxElements);
    }
    wm.run(timeDiff);
    timeLastRun = time;
    if (ego != nullptr) due = std::min(due, ego->msUntilDue(time));
    return std::min(due, wm.msUntilDue());
}

void MessageManager::procMessage(Message* m, MessageSystem* mss) {
    if (md != nullptr) md->procMessage(m, mss);

    if (ego != nullptr && m->receiverID == ego->ID) {
        ego->procNewMessage(m);
        return;
    }

    if (settings.observe) {
        const uint8_t taken = wm.procNewMessage(m);
        // The library's own ID is never a node to discover: a frame from it is
        // an echo of what the library sent.
        if (!taken && settings.autoAddNewComponents && m->senderID != 0 && m->senderID != getMyID()) {
            addPlaceholder(m->senderID);
        }
    }

    for (MessageSystem* s = ms; s != nullptr; s = s->next) {
        if (s != mss) s->send(m);
    }
}

void MessageManager::addPlaceholder(uint8_t id) {
    logLine("[MessageManager] autoAdd id ", static_cast<unsigned>(id));
    // The placeholder destroys its type client with itself. Failed
    // allocations (null inside the library) add nothing; the sender's next
    // message tries again.
    Component* placeholder = new Component(id);
    MessageHandlerTypeClient* typeClient = new MessageHandlerTypeClient(factory, getTime());
    if (placeholder != nullptr && typeClient != nullptr && placeholder->adoptMessageHandler(typeClient)) {
        wm.addComponent(placeholder);
    } else {
        delete typeClient;
        delete placeholder;
    }
}

bool MessageManager::send(Message* m) {
    return ms != nullptr && ms->send(m);  // nothing registered yet: nowhere to send
}

void MessageManager::addMessageSystem(MessageSystem* system) {
    system->next = ms;
    ms = system;
}

uint8_t MessageManager::getMyID() { return ego != nullptr ? ego->ID.load() : myID; }

void MessageManager::setMyID(uint8_t id) { myID = id; }

void MessageManager::setEgo(Component* e) {
    ego = e;
    e->setMessageManager(this);
}

void MessageManager::setObserve(uint8_t value) { settings.observe = value ? 1 : 0; }

void MessageManager::setAutoAddNewComponents(uint8_t value) { settings.autoAddNewComponents = value ? 1 : 0; }

void MessageManager::setComponentFactory(ComponentFactory f) { factory = f; }

void MessageManager::setRoute(uint8_t value) { settings.route = value ? 1 : 0; }

void MessageManager::setBroadcast(uint8_t value) { settings.broadcast = value ? 1 : 0; }

Settings MessageManager::getSettings() { return settings; }

void MessageManager::setMessageDebugger(MessageDebugger* debugger) { md = debugger; }

WorldModel* MessageManager::getWorldModel() { return &wm; }

TypeRequestPacer& MessageManager::getTypeRequestPacer() { return typeRequests; }

MessageSystem* MessageManager::getMessageSystems() { return ms; }

void MessageManager::followClock(std::chrono::steady_clock::time_point start) {
    clockStart = start;
    clockFollowed = true;
}

__thread const MessageManager* MessageManager::batchOf __attribute__((tls_model("initial-exec"))) = nullptr;
__thread uint32_t MessageManager::batchTime __attribute__((tls_model("initial-exec"))) = 0;

void MessageManager::setWakeMainLoop(std::function<void()> function) { wake = std::move(function); }

void MessageManager::wakeMainLoop() {
    if (wake) wake();
}

uint8_t MessageManager::hasUpdate() { return update.exchange(0) == 1 ? 1 : 0; }

void MessageManager::print(uint16_t timeDiff) {
    for (MessageSystem* s = ms; s != nullptr; s = s->next) s->print(timeDiff);
}

}  // namespace ORQ
