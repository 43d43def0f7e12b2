#pragma once
// Placeholder until the device model is written.
#include "Component.h"

namespace ORQ {

class ComponentVKR : public Component {
public:
    explicit ComponentVKR(uint8_t id);
    ~ComponentVKR() override;
};

}  // namespace ORQ
