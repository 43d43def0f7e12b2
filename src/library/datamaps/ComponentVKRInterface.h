#pragma once
// Flight-board data map: turns a host data ID and index into one field of a
// ORQ::ComponentVKRClient (read: the field widened to an int slot; set: the
// slot narrowed into the field, stored, and sent by the field's handler).
// Each data ID is one row, named as the host's list names the flight
// board's ID (DataIds.h): in the source's table, or, for the IDs both devices
// carry alike, in SharedDataRows.h. The flight board's kind (DeviceKind)
// hands the data calls to this map.
//
// Stateless: static parts, called by any host thread. The caller holds the
// component's data lock around every call, so a set writes the field and
// queues its message without a received report changing it in between.
//
// Both parts keep the slot contract of the data calls: -66 when *size <= 0,
// then -63 for an ID without an entry in that direction, then -65 for a bad
// index, then (sets) -67 for a refused value. A failed part changes nothing;
// a successful one fills or consumes **value, advances *value by one slot and
// lowers *size by one.
namespace ORQ {
class ComponentVKRClient;
}

class ComponentVKRInterface {
public:
    static int getDataKomplexPart(ORQ::ComponentVKRClient* k, int dataID, int index, int** value, int* size);
    static int setDataKomplexPart(ORQ::ComponentVKRClient* k, int dataID, int index, int** value, int* size);
};
