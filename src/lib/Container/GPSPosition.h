#pragma once
// A GPS position as a device reports it: three signed 32-bit coordinates and a
// status byte (no unit or scale attached). Plain value; no lock: its owner's
// lock guards it. On the wire it is 13 packed bytes (see
// MessageHandlerGPSPositionClient); this object itself is not a wire image.
#include <cstdint>

namespace ORQ {
namespace Container {

class GPSPosition {
public:
    static const uint8_t wireSize = 13;

    GPSPosition();
    virtual ~GPSPosition();

    int32_t longitude;
    int32_t latitude;
    int32_t altitude;
    uint8_t status;
};

}  // namespace Container
}  // namespace ORQ
