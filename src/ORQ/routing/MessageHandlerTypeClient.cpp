#include "routing/MessageHandlerTypeClient.h"

#include "node/Component.h"
#include "routing/MessageManager.h"
#include "routing/WorldModel.h"

namespace ORQ {

MessageHandlerTypeClient::MessageHandlerTypeClient(ComponentFactory make, uint32_t joinedAt)
    : MessageHandler(typeReply, typeRequest, 0, 1, anyChannel, true),
      factory(make),
      dueAt(joinedAt + requestPeriod),
      waiting(false),
      ticket(0) {}

MessageHandlerTypeClient::~MessageHandlerTypeClient() {}

void MessageHandlerTypeClient::run(uint16_t timeDiff) {
    (void)timeDiff;  // the schedule is kept in manager time
    const uint32_t now = component->getWorldModel()->getTime();
    // Compared as a signed difference: right across the wrap of manager time.
    if (static_cast<int32_t>(now - dueAt) < 0) return;
    TypeRequestPacer& pacer = component->mm->getTypeRequestPacer();
    if (!waiting) {
        ticket = pacer.takeTicket();
        waiting = true;
    }
    if (!pacer.mayAsk(ticket) || !sendTypeRequest(component->ID)) return;
    waiting = false;
    dueAt = now + requestPeriod;
}

uint32_t MessageHandlerTypeClient::msUntilDue(uint32_t now) const {
    if (waiting) return defaultPeriodMs;  // a turn comes with a later tick
    const int32_t left = static_cast<int32_t>(dueAt - now);
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

bool MessageHandlerTypeClient::sendTypeRequest(uint8_t receiver) {
    (void)receiver;  // the request always goes to the component's own ID
    Message m;
    m.dataType = typeRequest;
    m.senderID = component->getEgoID();
    m.receiverID = component->ID;
    m.channel = 0;
    m.properties = properties;
    return component->send(&m);
}

bool MessageHandlerTypeClient::store(Message& m) {
    const uint8_t id = component->ID;
    Component* typed = factory != nullptr ? factory(id, m.data[0]) : nullptr;
    if (typed == nullptr) return false;  // unknown code or out of memory: the requests go on
    component->getWorldModel()->replace(component, typed);
    return false;
}

}  // namespace ORQ
