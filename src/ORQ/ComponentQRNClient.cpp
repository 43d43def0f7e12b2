#include "ComponentQRNClient.h"

namespace ORQ {

ComponentQRNClient::ComponentQRNClient(uint8_t id) : ComponentQRN(id) {}
ComponentQRNClient::~ComponentQRNClient() {}

}  // namespace ORQ
