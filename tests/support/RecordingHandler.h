#pragma once
// Test handler: records every message its component offers it and every run
// tick. Messages of `acceptType` are taken like a real handler takes its own
// (counted in dataCount, the component's update time renewed).
// Used under the component's data lock (messages) or on the ticking thread.
#include <cstdint>
#include <vector>

#include "node/MessageHandler.h"

namespace ORQ {
namespace test {

class RecordingHandler : public MessageHandler {
public:
    static const int acceptNothing = -1;

    // tag: appended to *order at every call, to check the chain's order.
    // destroyed: raised by one when the handler is destroyed.
    explicit RecordingHandler(int tag = 0, std::vector<int>* order = nullptr, int* destroyed = nullptr);
    ~RecordingHandler() override;

    void run(uint16_t timeDiff) override;

    int acceptType = acceptNothing;
    std::vector<uint8_t> offeredSenders;  // sender of each offered message
    std::vector<uint16_t> timeDiffs;      // argument of each run

protected:
    bool store(Message& m) override;

private:
    int tag;
    std::vector<int>* order;
    int* destroyed;
};

}  // namespace test
}  // namespace ORQ
