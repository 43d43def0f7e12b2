#pragma once
// One message as the simulated devices see it: header fields and a payload
// held in a fixed buffer. A plain value, copied freely between threads.
#include <cstddef>
#include <cstdint>

namespace ORQSim {

struct SimMessage {
    // A layout is at most 64 bytes; the Smal header and check byte take 6.
    static const size_t maxPayload = 58;

    uint8_t dataType = 0;
    uint8_t sender = 0;
    uint8_t receiver = 0;
    uint8_t channel = 0;
    uint8_t size = 0;
    uint8_t payload[maxPayload] = {};
};

}  // namespace ORQSim
