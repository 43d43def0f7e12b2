#include "TestMessage.h"

#include <cstdlib>

namespace ORQ {
namespace test {

std::unique_ptr<Message> makeMessage(uint8_t dataType, uint8_t sender, uint8_t receiver,
                                          std::initializer_list<uint8_t> payload) {
    std::unique_ptr<Message> m(new Message());
    m->dataType = dataType;
    m->senderID = sender;
    m->receiverID = receiver;
    m->dataSize = static_cast<uint8_t>(payload.size());
    if (m->dataSize != 0) {
        m->data = static_cast<uint8_t*>(std::malloc(m->dataSize));
        uint8_t* p = m->data;
        for (uint8_t b : payload) *p++ = b;
    }
    return m;
}

}  // namespace test
}  // namespace ORQ
