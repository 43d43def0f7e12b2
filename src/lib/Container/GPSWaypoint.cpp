#include "GPSWaypoint.h"

#include <cstring>

namespace ORQ {
namespace Container {

GPSWaypoint::GPSWaypoint() : status(0), updateTime(0) {
    std::memset(&point, 0, sizeof(point));
    point.Type = 0xFF;
}

GPSWaypoint::~GPSWaypoint() {}

int GPSWaypoint::equal(const GPSPoint_t* p) const {
    const GPSPoint_t& a = point;
    // Packed members are copied into locals by the comparisons; no reference
    // to a misaligned member is ever formed.
    if (a.Position.longitude != p->Position.longitude) return 0;
    if (a.Position.latitude != p->Position.latitude) return 0;
    if (a.Position.altitude != p->Position.altitude) return 0;
    if (a.Position.status != p->Position.status) return 0;
    if (a.Heading != p->Heading) return 0;
    if (a.ToleranceRadius != p->ToleranceRadius) return 0;
    if (a.HoldTime != p->HoldTime) return 0;
    if (a.Event_Flag != p->Event_Flag) return 0;
    if (a.Index != p->Index) return 0;
    if (a.Type != p->Type) return 0;
    if (a.WP_EventChannelValue != p->WP_EventChannelValue) return 0;
    if (a.AltitudeRate != p->AltitudeRate) return 0;
    if (a.Speed != p->Speed) return 0;
    if (a.CamAngle != p->CamAngle) return 0;
    return 1;
}

int GPSWaypoint::equal(const GPSWaypoint* wp) const { return equal(&wp->point); }

}  // namespace Container
}  // namespace ORQ
