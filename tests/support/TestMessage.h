#pragma once
// Builds received messages for tests.
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "Message.h"

namespace ORQ {
namespace test {

std::unique_ptr<Message> makeMessage(uint8_t dataType, uint8_t sender, uint8_t receiver,
                                          std::initializer_list<uint8_t> payload = {});

}  // namespace test
}  // namespace ORQ
