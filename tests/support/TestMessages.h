#pragma once
// Building and inspecting messages in tests.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "wire/Message.h"

namespace ORQ {
namespace test {

// A heap message on channel 0 with its own malloc'd payload block, as the
// receive side hands them to the manager.
std::unique_ptr<Message> makeMessage(uint8_t dataType, uint8_t sender, uint8_t receiver,
                                     std::initializer_list<uint8_t> payload = {});
// A message with the given payload.
Message makeMessage(uint8_t dataType, uint8_t senderID, uint8_t receiverID, uint8_t channel,
                    const std::vector<uint8_t>& payload, uint8_t priority = 0, uint8_t ttl = 0,
                    bool unique = true);
// Replaces the payload of m with a copy of `payload`.
void setPayload(Message& m, const std::vector<uint8_t>& payload);
std::vector<uint8_t> payloadOf(const Message& m);
// The layout m->serialize writes into a 255-byte buffer (empty when refused).
std::vector<uint8_t> layoutOf(Message& m);

}  // namespace test
}  // namespace ORQ
