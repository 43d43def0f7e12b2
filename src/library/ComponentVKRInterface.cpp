#include "ComponentVKRInterface.h"

#include <cstdint>

#include "ComponentVKRClient.h"
#include "DataMapPart.h"
#include "Dll.h"

namespace {

const int noEntry = -1;

// Count of valid indexes of a read entry (1 for a single value), or noEntry.
int readBound(const ORQ::ComponentVKRClient* k, int dataID) {
    switch (dataID) {
    case 1: case 2: case 30: case 32: case 35: case 41: case 42: case 44: case 46: case 48: case 51:
        return 1;
    case 3: case 4: case 5:
        return DataMapPart::inUse(k->acc, k->accSize);
    case 6: case 7: case 8:
        return DataMapPart::inUse(k->gyro, k->gyroSize);
    case 9: case 10: case 11:
        return DataMapPart::inUse(k->compass, k->compassSize);
    case 12:
        return DataMapPart::inUse(k->dist, k->distSize);
    case 13:
        return DataMapPart::inUse(k->pressure, k->pressureSize);
    case 14:
        return DataMapPart::inUse(k->temperature, k->temperatureSize);
    case 15: case 16: case 17:
        return DataMapPart::inUse(k->dcm, k->dcmSize);
    case 18: case 19: case 20: case 22:
        return DataMapPart::inUse(k->currentPosition, k->currentPositionSize);
    case 23: case 24: case 25: case 27: case 28:
        return DataMapPart::inUse(k->waypoint, k->waypointSize);
    case 39:
        return DataMapPart::inUse(k->debugData, k->debugDataSize);
    default:
        return noEntry;
    }
}

// State bits for the host: motor, calibratedGyro, calibratedAccel,
// rotationFree and autoRotate as bits 0 to 4 (unknown and safeMode left out).
int stateBits(const ORQ::ComponentVKRClient* k) {
    return static_cast<int>(k->hwState.motor) | static_cast<int>(k->hwState.calibratedGyro) << 1 |
           static_cast<int>(k->hwState.calibratedAccel) << 2 | static_cast<int>(k->hwState.rotationFree) << 3 |
           static_cast<int>(k->hwState.autoRotate) << 4;
}

// The slot's new content for a read entry at a valid index; `slot` is what
// the host passed in.
int readValue(ORQ::ComponentVKRClient* k, int dataID, int index, int slot) {
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
    case 12: return k->dist[index];
    case 13: return k->pressure[index];
    case 14: return k->temperature[index];
    case 15: return k->dcm[index].x;
    case 16: return k->dcm[index].y;
    case 17: return k->dcm[index].z;
    case 18: return k->currentPosition[index].longitude;
    case 19: return k->currentPosition[index].latitude;
    case 20: return k->currentPosition[index].altitude;
    case 22: return k->currentPosition[index].status;
    case 23: return k->waypoint[index].point.Position.longitude;
    case 24: return k->waypoint[index].point.Position.latitude;
    case 25: return k->waypoint[index].point.Position.altitude;
    case 27: return k->waypoint[index].point.ToleranceRadius;
    case 28: return k->waypoint[index].point.HoldTime;
    case 30: return k->type;
    case 32: {
        // The board may report any byte; only the four modes the host knows
        // are handed over, anything else leaves the slot as it was.
        const uint32_t mode = k->gpsModeIs;
        return mode <= ORQ::ComponentVKR::GPSModeUnknown ? static_cast<int>(mode) : slot;
    }
    case 35: return stateBits(k);
    case 39: return k->debugData[index];
    case 41: return *k->simulateRCLoss;
    case 42: return k->cmd.safeMode;
    case 44: return *k->uptime;
    case 46: return k->recvMessageCounter;
    case 48: return k->isAlive();
    case 51: return static_cast<int>(k->getUpdateTime());
    default: return slot;  // unreachable: readBound has no other entries
    }
}

// Count of valid indexes of a set entry (1 for a single value), or noEntry.
int setBound(const ORQ::ComponentVKRClient* k, int dataID) {
    switch (dataID) {
    case 23: case 24: case 25: case 27: case 28:
        return DataMapPart::inUse(k->waypoint, k->waypointSize);
    case 31: case 32: case 33: case 34: case 36: case 38: case 41: case 42: case 43:
    case 49: case 50: case 52: case 53:
        return 1;
    case 39:
        return DataMapPart::inUse(k->debugData, k->debugDataSize);
    case 54:
        return DataMapPart::inUse(k->pwmOutput, k->pwmOutputSize);
    default:
        return noEntry;
    }
}

bool setAccepts(int dataID, int v) {
    switch (dataID) {
    case 32: return v >= 0 && v <= 2;  // GPSModeUnknown cannot be commanded
    case 33: case 34: return v == 1;  // these only ever raise their flag
    case 49: case 50: case 53: return v == 0 || v == 1;
    default: return true;
    }
}

// Secure-command codes the flight board acts on.
const int32_t secureCommandArm = 0x5D3A6B24;  // 49 with 1

// Sets one 2-byte element of the raw debug block and sends it; the channel
// carries the element's byte offset within the block.
bool setDebugElement(ORQ::ComponentVKRClient* k, std::ptrdiff_t element, int v) {
    int16_t& slot = k->debugData[element];
    return DataMapPart::writeAndSend(
        slot, [&] { slot = static_cast<int16_t>(v); },
        [&] { return k->debugDataClient->send(static_cast<uint8_t>(2 * element), reinterpret_cast<int8_t*>(&slot), 2); });
}

// Stores the set into the model and queues its message; false (model as
// before) when the message was not queued.
bool applySet(ORQ::ComponentVKRClient* k, int dataID, uint8_t index, int v) {
    using DataMapPart::writeAndSend;
    const auto setWaypoint = [&](auto write) {
        ORQ::Container::GPSWaypoint::GPSPoint_t& wp = k->waypoint[index].point;
        return writeAndSend(wp, [&] { write(wp); }, [&] { return k->waypointClient->set(index); });
    };
    const auto sendCmd = [&] { return k->cmdClient->send(0); };
    switch (dataID) {
    case 23: return setWaypoint([&](auto& wp) { wp.Position.longitude = v; });
    case 24: return setWaypoint([&](auto& wp) { wp.Position.latitude = v; });
    case 25: return setWaypoint([&](auto& wp) { wp.Position.altitude = v; });
    case 27: return setWaypoint([&](auto& wp) { wp.ToleranceRadius = static_cast<uint8_t>(v); });
    case 28: return setWaypoint([&](auto& wp) { wp.HoldTime = static_cast<uint8_t>(v); });
    case 31:
        return writeAndSend(k->motorOn, [&] { k->motorOn = static_cast<uint8_t>(v); },
                            [&] { return k->motorOnClient->send(0); });
    case 32:
        return writeAndSend(k->gpsMode, [&] { k->gpsMode = static_cast<decltype(k->gpsMode)>(v); },
                            [&] { return k->gpsModeClient->send(0); });
    case 33: return writeAndSend(k->cmd, [&] { k->cmd.gyro = 1; }, sendCmd);
    case 34: return writeAndSend(k->cmd, [&] { k->cmd.accel = 1; }, sendCmd);
    case 36: return writeAndSend(k->cmd, [&] { k->cmd.rotationFree = v != 0; }, sendCmd);
    case 38: return writeAndSend(k->cmd, [&] { k->cmd.autoRotate = v != 0; }, sendCmd);
    case 39: return setDebugElement(k, index, v);
    case 41: return setDebugElement(k, k->simulateRCLoss - k->debugData, v);
    case 42: return writeAndSend(k->cmd, [&] { k->cmd.accel = v != 0; }, sendCmd);
    case 43: return setDebugElement(k, k->actGas - k->debugData, v);
    case 49: return v != 1 || DataMapPart::sendSecureCommand(k, secureCommandArm);  // 0 commands nothing
    case 50: return DataMapPart::sendSecureCommand(k, v ? 3 : 4);
    case 52: return DataMapPart::setActiveControl(k, v);
    case 53: return DataMapPart::sendSecureCommand(k, v ? 1 : 2);
    case 54:
        return writeAndSend(k->pwmOutput[index], [&] { k->pwmOutput[index] = static_cast<uint16_t>(v); },
                            [&] { return k->pwmOutputClient->send(0, index); });
    default: return false;  // unreachable: setBound has no other entries
    }
}

}  // namespace

ComponentVKRInterface::~ComponentVKRInterface() {}

int ComponentVKRInterface::getDataKomplexPart(ORQ::ComponentVKRClient* k, int dataID, int index, int** value,
                                              int* size) {
    return DataMapPart::read(
        dataID, index, value, size, [k](int id) { return readBound(k, id); },
        [k](int id, int i, int slot) { return readValue(k, id, i, slot); });
}

int ComponentVKRInterface::setDataKomplexPart(ORQ::ComponentVKRClient* k, int dataID, int index, int** value,
                                              int* size) {
    return DataMapPart::set(
        dataID, index, value, size, [k](int id) { return setBound(k, id); }, setAccepts,
        [k](int id, uint8_t i, int v) { return applySet(k, id, i, v); });
}
