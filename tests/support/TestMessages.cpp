#include "TestMessages.h"

#include <cstring>

namespace ORQ {
namespace test {

Message makeMessage(uint8_t dataType, uint8_t senderID, uint8_t receiverID, uint8_t channel,
                    const std::vector<uint8_t>& payload, uint8_t priority, uint8_t ttl, bool unique) {
    Message m;
    m.dataType = dataType;
    m.senderID = senderID;
    m.receiverID = receiverID;
    m.channel = channel;
    m.priority = priority;
    m.ttl = ttl;
    m.properties.unique = unique ? 1 : 0;
    setPayload(m, payload);
    return m;
}

void setPayload(Message& m, const std::vector<uint8_t>& payload) {
    m.dataSize = static_cast<uint8_t>(payload.size());
    // An empty vector's data() may be null, which memcpy must never get.
    if (!payload.empty()) std::memcpy(m.data, payload.data(), payload.size());
}

std::vector<uint8_t> payloadOf(const Message& m) {
    return std::vector<uint8_t>(m.data, m.data + m.dataSize);
}

std::vector<uint8_t> layoutOf(Message& m) {
    uint8_t buffer[255];
    const uint8_t length = m.serialize(buffer, sizeof(buffer));
    return std::vector<uint8_t>(buffer, buffer + length);
}

std::unique_ptr<Message> makeMessage(uint8_t dataType, uint8_t sender, uint8_t receiver,
                                          std::initializer_list<uint8_t> payload) {
    std::unique_ptr<Message> m(new Message());
    m->dataType = dataType;
    m->senderID = sender;
    m->receiverID = receiver;
    m->dataSize = static_cast<uint8_t>(payload.size());
    uint8_t* p = m->data;
    for (uint8_t b : payload) *p++ = b;
    return m;
}

}  // namespace test
}  // namespace ORQ
