#include "MessageHandlerTypeClient.h"

#include "Component.h"
#include "MessageManager.h"
#include "WorldModel.h"

namespace ORQ {

MessageHandlerTypeClient::MessageHandlerTypeClient(ComponentFactory make)
    : timeOut(requestPeriod), factory(make), waiting(false), ticket(0) {}

MessageHandlerTypeClient::~MessageHandlerTypeClient() {}

void MessageHandlerTypeClient::run(uint16_t timeDiff) {
    const int left = timeOut - timeDiff;
    timeOut = static_cast<int16_t>(left > 0 ? left : 0);
    if (timeOut > 0) return;
    TypeRequestPacer& pacer = component->mm->getTypeRequestPacer();
    if (!waiting) {
        ticket = pacer.takeTicket();
        waiting = true;
    }
    if (!pacer.mayAsk(ticket) || !sendTypeRequest(component->ID)) return;
    waiting = false;
    timeOut = requestPeriod;
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

uint8_t MessageHandlerTypeClient::procNewMessage(Message* m) {
    const uint8_t id = component->ID;
    if (m->senderID != id) return 0;
    if (m->dataType != typeReply || m->dataSize != 1) return 0;
    Component* typed = factory != nullptr ? factory(id, m->data[0]) : nullptr;
    if (typed == nullptr) return 0;  // unknown code or out of memory: the requests go on
    component->getWorldModel()->addComponent(typed);
    component->ID = 0;
    return 0;
}

}  // namespace ORQ
