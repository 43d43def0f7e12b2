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

Bytes le16(int v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

Bytes le32(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

Bytes vec3(int x, int y, int z) { return cat({le16(x), le16(y), le16(z)}); }

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace test
}  // namespace ORQ
