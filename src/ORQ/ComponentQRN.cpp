#include "ComponentQRN.h"

namespace ORQ {

ComponentQRN::ComponentQRN(uint8_t id) : Component(id) { type = 0; }
ComponentQRN::~ComponentQRN() {}

}  // namespace ORQ
