#pragma once
// Ground-station data map: turns a host data ID and index into one field of a
// ORQ::ComponentQRNClient (read: the field widened to an int slot; set: the
// slot narrowed into the field, stored, and sent by the field's handler).
// Data IDs that name the same value on both devices share their number with
// the flight-board map, and their row (SharedDataRows.h); the source's table
// holds the ground station's own rows. Every row is named as the host's list
// names the ground station's ID (DataIds.h). The ground station's kind
// (DeviceKind) hands the data calls to this map.
//
// Stateless: static parts, called by any host thread. The caller holds the
// component's data lock around every call.
//
// Both parts keep the slot contract of the data calls: -66 when *size <= 0,
// then -63 for an ID without an entry in that direction, then -65 for a bad
// index, then (sets) -67 for a refused value. A failed part changes nothing;
// a successful one fills or consumes **value, advances *value by one slot and
// lowers *size by one.
namespace ORQ {
class ComponentQRNClient;
}

class ComponentQRNInterface {
public:
    static int getDataKomplexPart(ORQ::ComponentQRNClient* k, int dataID, int index, int** value, int* size);
    static int setDataKomplexPart(ORQ::ComponentQRNClient* k, int dataID, int index, int** value, int* size);
};
