#pragma once
// Placeholder until the device model is written.
#include "ComponentQRN.h"

namespace ORQ {

class ComponentQRNClient : public ComponentQRN {
public:
    explicit ComponentQRNClient(uint8_t id);
    ~ComponentQRNClient() override;
};

}  // namespace ORQ
