#include "MessageHandler.h"

namespace ORQ {

MessageHandler::MessageHandler()
    : next(nullptr), component(nullptr), priority(0), settable(1), gettable(1), dataCount(0), properties() {
    properties.unique = 1;
}

MessageHandler::~MessageHandler() {}

uint8_t MessageHandler::procNewMessage(Message* m) {
    (void)m;
    return 0;
}

void MessageHandler::setComponent(Component* c) { component = c; }

void MessageHandler::run(uint16_t timeDiff) { (void)timeDiff; }

uint8_t MessageHandler::getDatarate(uint16_t timeDiff) {
    const uint32_t count = dataCount;
    dataCount = 0;
    if (timeDiff == 0) return 0;  // an empty window has no rate
    return static_cast<uint8_t>(count * 1000u / timeDiff);
}

}  // namespace ORQ
