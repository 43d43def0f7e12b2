#include "ComponentQRNInterface.h"

#include <cstdint>

#include "ComponentQRNClient.h"
#include "DataMapPart.h"
#include "Dll.h"

namespace {

const int noEntry = -1;

// Count of valid indexes of a read entry (1 for a single value), or noEntry.
int readBound(const ORQ::ComponentQRNClient* k, int dataID) {
    switch (dataID) {
    case 1: case 2: case 30: case 48: case 51:
        return 1;
    case 3: case 4: case 5:
        return DataMapPart::inUse(k->acc, k->accSize);
    case 6: case 7: case 8:
        return DataMapPart::inUse(k->gyro, k->gyroSize);
    case 9: case 10: case 11:
        return DataMapPart::inUse(k->compass, k->compassSize);
    case 13:
        return DataMapPart::inUse(k->pressure, k->pressureSize);
    case 14:
        return DataMapPart::inUse(k->temperature, k->temperatureSize);
    case 15: case 16: case 17:
        return DataMapPart::inUse(k->dcm, k->dcmSize);
    case 29:
        return DataMapPart::inUse(k->rcReceiver, k->rcReceiverSize);
    case 39:
        return DataMapPart::inUse(k->debugData, k->debugDataSize);
    default:
        return noEntry;
    }
}

// The slot's new content for a read entry at a valid index.
int readValue(ORQ::ComponentQRNClient* k, int dataID, int index) {
    switch (dataID) {
    case 1: return k->HWversion;
    case 2: return k->FWversion;
    case 3: return k->acc[index].x;
    case 4: return k->acc[index].y;
    case 5: return k->acc[index].z;
    case 6: return k->gyro[index].x;
    case 7: return k->gyro[index].y;
    case 8: return k->gyro[index].z;
    case 9: return k->compass[index].x;
    case 10: return k->compass[index].y;
    case 11: return k->compass[index].z;
    case 13: return k->pressure[index];
    case 14: return k->temperature[index];
    case 15: return k->dcm[index].x;
    case 16: return k->dcm[index].y;
    case 17: return k->dcm[index].z;
    case 29: return k->rcReceiver[index];
    case 30: return k->type;
    case 39: return k->debugData[index];
    case 48: return k->isAlive();
    case 51: return static_cast<int>(k->getUpdateTime());
    default: return 0;  // unreachable: readBound has no other entries
    }
}

// Count of valid indexes of a set entry (1 for a single value), or noEntry.
int setBound(const ORQ::ComponentQRNClient* k, int dataID) {
    switch (dataID) {
    case 37:
        return DataMapPart::inUse(k->rcSender, k->rcSenderSize);
    case 39:
        return DataMapPart::inUse(k->debugData, k->debugDataSize);
    case 49: case 50: case 52: case 53:
        return 1;
    default:
        return noEntry;
    }
}

bool setAccepts(int dataID, int v) {
    switch (dataID) {
    case 49: case 50: case 53: return v == 0 || v == 1;
    default: return true;
    }
}

// Secure-command code the ground station acts on (49 with 1).
const int32_t secureCommandArm = 0x5D3A6B24;

// Stores the set into the model and queues its message; false (model as
// before) when the message was not queued.
bool applySet(ORQ::ComponentQRNClient* k, int dataID, uint8_t index, int v) {
    using DataMapPart::writeAndSend;
    switch (dataID) {
    case 37:
        return writeAndSend(k->rcSender[index], [&] { k->rcSender[index] = static_cast<unsigned char>(v); },
                            [&] { return k->rcSenderClient->send(index); });
    case 39: {
        // One 2-byte piece of the raw debug block; the channel carries its byte offset.
        int16_t& slot = k->debugData[index];
        return writeAndSend(
            slot, [&] { slot = static_cast<int16_t>(v); },
            [&] { return k->debugDataClient->send(static_cast<uint8_t>(2 * index), reinterpret_cast<int8_t*>(&slot), 2); });
    }
    case 49: return v != 1 || DataMapPart::sendSecureCommand(k, secureCommandArm);  // 0 commands nothing
    case 50: return DataMapPart::sendSecureCommand(k, v ? 3 : 4);
    case 52: return DataMapPart::setActiveControl(k, v);
    case 53: return DataMapPart::sendSecureCommand(k, v ? 1 : 2);
    default: return false;  // unreachable: setBound has no other entries
    }
}

}  // namespace

ComponentQRNInterface::~ComponentQRNInterface() {}

int ComponentQRNInterface::getDataKomplexPart(ORQ::ComponentQRNClient* k, int dataID, int index, int** value,
                                              int* size) {
    return DataMapPart::read(
        dataID, index, value, size, [k](int id) { return readBound(k, id); },
        [k](int id, int i, int) { return readValue(k, id, i); });
}

int ComponentQRNInterface::setDataKomplexPart(ORQ::ComponentQRNClient* k, int dataID, int index, int** value,
                                              int* size) {
    return DataMapPart::set(
        dataID, index, value, size, [k](int id) { return setBound(k, id); }, setAccepts,
        [k](int id, uint8_t i, int v) { return applySet(k, id, i, v); });
}
