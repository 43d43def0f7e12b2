#include "ClientMessage.h"

#include <cstring>

#include "Component.h"
#include "Message.h"

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

void ClientMessage::putInt16(uint8_t* p, int16_t v) {
    const uint16_t u = static_cast<uint16_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
}

void ClientMessage::putInt32(uint8_t* p, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

}  // namespace ORQ
