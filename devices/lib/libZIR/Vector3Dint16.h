#pragma once
// A vector of three signed 16-bit components as a device reports it (no unit
// or scale attached). Plain value; no lock: its owner's lock guards it.
#include <cstdint>

namespace TALVEK {
namespace ZIR {

class Vector3Dint16 {
public:
    Vector3Dint16();
    Vector3Dint16(int16_t x, int16_t y, int16_t z);
    virtual ~Vector3Dint16();

    // Euclidean length truncated toward zero; a length that does not fit in
    // int16_t gives 32767.
    int16_t getLength() const;

    int16_t x;
    int16_t y;
    int16_t z;
};

}  // namespace ZIR
}  // namespace TALVEK
