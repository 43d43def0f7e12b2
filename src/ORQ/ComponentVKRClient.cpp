#include "ComponentVKRClient.h"

namespace ORQ {

ComponentVKRClient::ComponentVKRClient(uint8_t id) : ComponentVKR(id) {}
ComponentVKRClient::~ComponentVKRClient() {}

}  // namespace ORQ
