#include "DeviceModelFactory.h"

#include "ComponentQRNClient.h"
#include "ComponentVKRClient.h"

namespace ORQ {

Component* makeDeviceModel(uint8_t id, uint8_t typeCode) {
    switch (typeCode) {
        case 1: return new ComponentVKRClient(id);
        case 0: return new ComponentQRNClient(id);
        default: return nullptr;
    }
}

}  // namespace ORQ
