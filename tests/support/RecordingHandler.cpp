#include "RecordingHandler.h"

#include "wire/Message.h"

namespace ORQ {
namespace test {

RecordingHandler::RecordingHandler(int tag, std::vector<int>* order, int* destroyed)
    : MessageHandler(true), tag(tag), order(order), destroyed(destroyed) {}

RecordingHandler::~RecordingHandler() {
    if (destroyed != nullptr) ++*destroyed;
}

bool RecordingHandler::store(Message& m) {
    offeredSenders.push_back(m.senderID);
    if (order != nullptr) order->push_back(tag);
    return m.dataType == acceptType;
}

void RecordingHandler::run(uint16_t timeDiff) {
    timeDiffs.push_back(timeDiff);
    if (order != nullptr) order->push_back(tag);
}

}  // namespace test
}  // namespace ORQ
