#include "handlers/ClientMessage.h"

#include <cstring>

#include "node/Component.h"
#include "wire/Message.h"

namespace ORQ {

bool ClientMessage::send(const MessageHandler& h, uint8_t dataType, uint8_t channel,
                         const uint8_t* payload, uint8_t size) {
    Component* c = h.component;
    Message m;
    m.dataType = dataType;
    m.senderID = c->getEgoID();
    m.receiverID = c->ID;
    m.channel = channel;
    m.priority = 0;
    m.ttl = 0;
    m.properties = h.properties;
    // A request carries no payload and may pass none: memcpy never gets a null.
    if (size != 0) std::memcpy(m.data, payload, size);
    m.dataSize = size;
    return c->send(&m);  // the queue keeps its own copy
}

}  // namespace ORQ
