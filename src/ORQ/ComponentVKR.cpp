#include "ComponentVKR.h"

namespace ORQ {

ComponentVKR::ComponentVKR(uint8_t id) : Component(id) { type = 1; }
ComponentVKR::~ComponentVKR() {}

}  // namespace ORQ
