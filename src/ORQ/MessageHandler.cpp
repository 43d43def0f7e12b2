#include "MessageHandler.h"

#include "Component.h"

namespace ORQ {

MessageHandler::MessageHandler() : MessageHandler(false) {}

MessageHandler::MessageHandler(bool timedWork)
    : next(nullptr),
      component(nullptr),
      priority(0),
      settable(1),
      gettable(1),
      dataCount(0),
      properties(),
      dataTypeSet(0),
      dataTypeGet(0),
      dataCapacity(0),
      reportSize(anySize),
      nextOffered(0),
      takesReports(false),
      everyChannel(false),
      timed(timedWork) {
    properties.unique = 1;
}

MessageHandler::MessageHandler(uint8_t typeSet, uint8_t typeGet, uint8_t capacity, uint8_t size,
                               Channels channels, bool timedWork)
    : MessageHandler(timedWork) {
    dataTypeSet = typeSet;
    dataTypeGet = typeGet;
    dataCapacity = capacity;
    reportSize = size;
    takesReports = true;
    everyChannel = channels == anyChannel;
}

MessageHandler::~MessageHandler() {}

bool MessageHandler::accepts(const Message& m) const {
    return takesReports && m.senderID == component->ID && m.dataType == dataTypeSet &&
           (reportSize == anySize || m.dataSize == reportSize) &&
           (everyChannel || m.channel < dataCapacity);
}

uint8_t MessageHandler::procNewMessage(Message* m) {
    if (!accepts(*m)) return 0;
    store(*m);
    dataCount++;
    return 1;
}

void MessageHandler::store(Message& m) { (void)m; }

void MessageHandler::setComponent(Component* c) { component = c; }

void MessageHandler::run(uint16_t timeDiff) { (void)timeDiff; }

uint32_t MessageHandler::msUntilDue(uint32_t now) const {
    (void)now;
    return defaultPeriodMs;
}

uint8_t MessageHandler::getDatarate(uint16_t timeDiff) {
    const uint32_t count = dataCount;
    dataCount = 0;
    if (timeDiff == 0) return 0;  // an empty window has no rate
    return static_cast<uint8_t>(count * 1000u / timeDiff);
}

}  // namespace ORQ
