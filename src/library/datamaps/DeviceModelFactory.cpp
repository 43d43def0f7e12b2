#include "datamaps/DeviceModelFactory.h"

#include "models/ComponentQRNClient.h"
#include "models/ComponentVKRClient.h"
#include "DataTypes.h"

namespace ORQ {

Component* makeDeviceModel(uint8_t id, uint8_t typeCode) {
    switch (typeCode) {
        case DeviceCode::flightBoard: return new ComponentVKRClient(id);
        case DeviceCode::groundStation: return new ComponentQRNClient(id);
        default: return nullptr;
    }
}

}  // namespace ORQ
