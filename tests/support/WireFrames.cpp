#include "WireFrames.h"

#include <cstddef>

namespace ORQ {
namespace test {

Bytes frameLayout(const Bytes& layout) {
    Bytes frame{0xFD};
    for (uint8_t b : layout) {
        if (b >= 0xFC && b <= 0xFE) {
            frame.push_back(0xFE);
            frame.push_back(static_cast<uint8_t>(b - 0x80));
        } else {
            frame.push_back(b);
        }
    }
    frame.push_back(0xFC);
    return frame;
}

bool unframe(const Bytes& frame, Bytes& layout) {
    layout.clear();
    if (frame.size() < 2 || frame.front() != 0xFD || frame.back() != 0xFC) return false;
    for (size_t i = 1; i + 1 < frame.size(); ++i) {
        uint8_t b = frame[i];
        if (b == 0xFC || b == 0xFD) return false;
        if (b == 0xFE) {
            if (i + 2 >= frame.size()) return false;
            b = static_cast<uint8_t>(frame[++i] + 0x80);
        }
        layout.push_back(b);
    }
    return true;
}

}  // namespace test
}  // namespace ORQ
