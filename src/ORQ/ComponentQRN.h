#pragma once
// Placeholder until the device model is written.
#include "Component.h"

namespace ORQ {

class ComponentQRN : public Component {
public:
    explicit ComponentQRN(uint8_t id);
    ~ComponentQRN() override;
};

}  // namespace ORQ
