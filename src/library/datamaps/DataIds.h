#pragma once
// The rows of host/DataIds.def as names a data map's rows are written with:
// DataIds::id<FLIGHT_BOARD, GPS_MODE> is the flight board's ID 32, typed as an
// ID of that device. Only the list's rows define one, so a data-map row that
// names an ID the list does not hold for the map's device does not compile,
// and neither does a bare number where a device's ID is expected.
//
// Names only: no code, no state.
namespace DataIds {

// One tag per device and one per name of the list (a name several devices
// carry is one tag).
#define ORQ_DATA_ID(DEVICE, ID, NAME, ACCESS, UNIT, TEXT) \
    struct DEVICE;                                        \
    struct NAME;
#include "host/DataIds.def"
#undef ORQ_DATA_ID

// A data ID of device Device, as the host names it.
template <class Device>
struct Id {
    explicit constexpr Id(int n) : number(n) {}
    int number;
};

// Defined for the list's rows only.
template <class Device, class Name>
struct Listed;
#define ORQ_DATA_ID(DEVICE, ID, NAME, ACCESS, UNIT, TEXT) \
    template <>                                           \
    struct Listed<DEVICE, NAME> {                         \
        static constexpr int number = ID;                 \
    };
#include "host/DataIds.def"
#undef ORQ_DATA_ID

template <class Device, class Name>
constexpr Id<Device> id{Listed<Device, Name>::number};

}  // namespace DataIds
