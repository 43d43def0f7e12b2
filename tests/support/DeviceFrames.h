#pragma once
// Whole frames as a remote device puts them on the line: the small layout
// (03 type sender receiver channel payload check) with its XOR check byte,
// framed and escaped.
#include <cstdint>
#include <vector>

#include "WireFrames.h"

namespace ORQ {
namespace test {

Bytes smalFrame(uint8_t dataType, uint8_t senderID, uint8_t receiverID, uint8_t channel,
                const Bytes& payload = Bytes());

}  // namespace test
}  // namespace ORQ
