#include "node/MessageHandler.h"

#include "node/Component.h"

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
      timed(timedWork),
      firstChannel(0),
      channelCount(0) {
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
    channelCount = channels == anyChannel ? 256 : capacity;
}

void MessageHandler::takeOnlyChannel(uint8_t channel) {
    firstChannel = channel;
    channelCount = 1;
}

MessageHandler::~MessageHandler() {}

bool MessageHandler::accepts(const Message& m) const {
    return !takesReports || (m.senderID == component->ID && m.dataType == dataTypeSet && fits(m));
}

bool MessageHandler::store(Message& m) {
    (void)m;
    return false;
}

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
