#pragma once
// The library's factory of typed components (see ComponentFactory in
// MessageManager.h): the model of the device kind of a type code (DeviceKind),
// null for a code no kind has. Wired into the
// manager by the owner of a start (LibraryInstance), and by tests that need
// discovery to build the real models. Stateless; any thread.
#include <cstdint>

#include "node/Component.h"

namespace ORQ {

Component* makeDeviceModel(uint8_t id, uint8_t typeCode);

}  // namespace ORQ
