#pragma once
// A kind of device the library models, one row per type code in the table of
// the source: the code (what a device's type reply names, its model carries
// in `type` and the node list reports for it), the factory of its model and
// its data map. Discovery builds models through the rows (makeDeviceModel);
// the data calls and the node list find a component's kind by its type code.
// A new kind of device is its model, its data map and one row there.
//
// A kind's model is the component whose class answers the kind's code
// (Component::deviceCode); a plain component carrying the same code (a
// placeholder waiting for its type reply carries type 0) is none.
//
// The rows are constants: any thread. get and set keep the data maps' slot
// contract (DataMapPart.h) on a component the kind models, under the
// component's data lock the caller holds.
#include <cstdint>

namespace ORQ {
class Component;
}

class DeviceKind {
public:
    using Part = int (*)(ORQ::Component& model, int dataID, int index, int** value, int* size);

    // The kind of a type code; null for a code no row has.
    static const DeviceKind* of(uint8_t code);
    // What the node list reports for c: its kind's code when c is that
    // kind's model, else -1.
    static int listedCode(const ORQ::Component& c);

    // Whether c is this kind's model.
    bool models(const ORQ::Component& c) const;

    uint8_t code;
    // A new model with the component ID; null when it cannot be made.
    ORQ::Component* (*make)(uint8_t id);
    Part get;
    Part set;
};
