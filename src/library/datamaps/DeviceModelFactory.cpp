#include "datamaps/DeviceModelFactory.h"

#include "datamaps/DeviceKind.h"

namespace ORQ {

Component* makeDeviceModel(uint8_t id, uint8_t typeCode) {
    const DeviceKind* kind = DeviceKind::of(typeCode);
    return kind != nullptr ? kind->make(id) : nullptr;
}

}  // namespace ORQ
