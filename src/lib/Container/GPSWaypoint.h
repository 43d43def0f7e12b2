#pragma once
// One waypoint slot of a flight board's mission: the packed waypoint record
// (the flight board's own layout, 30 bytes around a 13-byte position) plus two
// bookkeeping fields. Plain value; no lock: its owner's lock guards it.
#include <cstddef>
#include <cstdint>

namespace ORQ {
namespace Container {

class GPSWaypoint {
public:
#pragma pack(push, 1)
    struct GPS_Pos_t {
        int32_t longitude;
        int32_t latitude;
        int32_t altitude;
        uint8_t status;
    };

    struct GPSPoint_t {
        GPS_Pos_t Position;
        int16_t Heading;
        uint8_t ToleranceRadius;
        uint8_t HoldTime;
        uint8_t Event_Flag;
        uint8_t Index;  // slot number + 1
        uint8_t Type;   // 255: slot never filled
        uint8_t WP_EventChannelValue;
        uint8_t AltitudeRate;
        uint8_t Speed;
        uint8_t CamAngle;
        unsigned char Name[4];
        unsigned char reserve[2];
    };
#pragma pack(pop)

    // Every record field zero except Type, which is 255 (empty slot).
    GPSWaypoint();
    virtual ~GPSWaypoint();

    // 1 when every field of the record but Name and reserve matches p's, else 0.
    int equal(const GPSPoint_t* p) const;
    int equal(const GPSWaypoint* wp) const;

    GPSPoint_t point;
    uint8_t status;       // not changed by the library
    uint32_t updateTime;  // not changed by the library
};

// The records are the flight board's byte layout: no padding anywhere.
static_assert(sizeof(GPSWaypoint::GPS_Pos_t) == 13, "GPS_Pos_t is 13 packed bytes");
static_assert(offsetof(GPSWaypoint::GPS_Pos_t, latitude) == 4, "GPS_Pos_t layout");
static_assert(offsetof(GPSWaypoint::GPS_Pos_t, altitude) == 8, "GPS_Pos_t layout");
static_assert(offsetof(GPSWaypoint::GPS_Pos_t, status) == 12, "GPS_Pos_t layout");
static_assert(sizeof(GPSWaypoint::GPSPoint_t) == 30, "GPSPoint_t is 30 packed bytes");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, Heading) == 13, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, ToleranceRadius) == 15, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, HoldTime) == 16, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, Event_Flag) == 17, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, Index) == 18, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, Type) == 19, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, WP_EventChannelValue) == 20, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, AltitudeRate) == 21, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, Speed) == 22, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, CamAngle) == 23, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, Name) == 24, "GPSPoint_t layout");
static_assert(offsetof(GPSWaypoint::GPSPoint_t, reserve) == 28, "GPSPoint_t layout");

}  // namespace Container
}  // namespace ORQ
