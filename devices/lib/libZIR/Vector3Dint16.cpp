#include "Vector3Dint16.h"

#include <cmath>
#include <limits>

namespace TALVEK {
namespace ZIR {

Vector3Dint16::Vector3Dint16() : x(0), y(0), z(0) {}

Vector3Dint16::Vector3Dint16(int16_t x, int16_t y, int16_t z) : x(x), y(y), z(z) {}

Vector3Dint16::~Vector3Dint16() {}

int16_t Vector3Dint16::getLength() const {
    // Three squares of up to 2^30 each overflow 32 bits; 64 bits hold them.
    const int64_t squares = int64_t(x) * x + int64_t(y) * y + int64_t(z) * z;
    const double length = std::sqrt(static_cast<double>(squares));
    if (length >= std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    return static_cast<int16_t>(length);
}

}  // namespace ZIR
}  // namespace TALVEK
