#include "DeviceFrames.h"

namespace ORQ {
namespace test {

Bytes smalFrame(uint8_t dataType, uint8_t senderID, uint8_t receiverID, uint8_t channel, const Bytes& payload) {
    Bytes layout;
    layout.reserve(payload.size() + 6);
    for (uint8_t b : {uint8_t(3), dataType, senderID, receiverID, channel}) {
        layout.push_back(b);
    }
    for (uint8_t b : payload) {
        layout.push_back(b);
    }
    uint8_t check = 0;
    for (uint8_t b : layout) {
        check ^= b;
    }
    layout.push_back(check);
    return frameLayout(layout);
}

}  // namespace test
}  // namespace ORQ
