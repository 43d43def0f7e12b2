#pragma once
// Reference framing of the link, written independently of MessageSystem so
// tests can build frames to feed it and check the frames it produces:
// FD, the layout with FC/FD/FE sent as FE (byte - 0x80), FC.
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace ORQ {
namespace test {

using Bytes = std::vector<uint8_t>;

Bytes frameLayout(const Bytes& layout);
// The layout inside one whole frame; false when `frame` is not exactly one
// well-formed frame.
bool unframe(const Bytes& frame, Bytes& layout);

// Payload pieces as devices send them: integers little-endian, lowest byte
// first; a vector is x, y, z of 16 bits each.
Bytes le16(int v);
Bytes le32(int32_t v);
Bytes vec3(int x, int y, int z);
Bytes cat(std::initializer_list<Bytes> parts);

}  // namespace test
}  // namespace ORQ
