#pragma once
// Placeholder until the device model is written.
#include "ComponentVKR.h"

namespace ORQ {

class ComponentVKRClient : public ComponentVKR {
public:
    explicit ComponentVKRClient(uint8_t id);
    ~ComponentVKRClient() override;
};

}  // namespace ORQ
