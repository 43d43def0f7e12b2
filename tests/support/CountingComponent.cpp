#include "CountingComponent.h"

namespace ORQ {
namespace test {

CountingComponent::CountingComponent(uint8_t id, int* destroyed) : Component(id), destroyed(destroyed) {}

CountingComponent::~CountingComponent() { ++*destroyed; }

}  // namespace test
}  // namespace ORQ
