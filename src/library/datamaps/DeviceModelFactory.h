#pragma once
// The library's factory of typed components (see ComponentFactory in
// MessageManager.h): a flight-board or a ground-station model. Wired into the
// manager by the owner of a start (LibraryInstance), and by tests that need
// discovery to build the real models. Stateless; any thread.
#include <cstdint>

#include "node/Component.h"

namespace ORQ {

Component* makeDeviceModel(uint8_t id, uint8_t typeCode);

}  // namespace ORQ
