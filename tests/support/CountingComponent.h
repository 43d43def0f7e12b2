#pragma once
// Test component that reports its destruction, to check who destroys whom.
#include <cstdint>

#include "node/Component.h"

namespace ORQ {
namespace test {

class CountingComponent : public Component {
public:
    CountingComponent(uint8_t id, int* destroyed);
    ~CountingComponent() override;

private:
    int* destroyed;
};

}  // namespace test
}  // namespace ORQ
