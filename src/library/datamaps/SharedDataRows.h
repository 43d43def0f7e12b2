#pragma once
// The data IDs both device maps carry alike: the same name and number name
// the same value on the flight board and the ground station, and both models
// hold it in fields of the same names, so each of these IDs is one row here,
// made for either model and its device's IDs (a device whose list lacks one
// of these names cannot use the table). A device map searches its own table
// and this one (DataMapPart.h); an ID is in one of the two, never both.
//
// No state; see DataMapPart.h for the contract and the lock the caller holds.
#include <cstddef>
#include <cstdint>

#include "datamaps/DataMapPart.h"

namespace DataMapPart {

// Secure-command code both devices act on as "arm" (49 with 1).
constexpr int32_t secureCommandArm = 0x5D3A6B24;

// Stores a secure command's code in the model's secure-command word and sends
// it (each command a message of its own).
template <class Model>
bool sendSecureCommand(Model& k, int32_t code) {
    return writeAndSend(
        k.secureCommand[0], [&] { k.secureCommand[0] = code; }, [&] { return k.secureCommandClient->send(0); });
}

// Sets one 2-byte element of the raw debug block and sends it; the channel
// carries the element's byte offset within the block.
template <class Model>
bool setDebugElement(Model& k, std::ptrdiff_t element, int v) {
    int16_t& slot = k.debugData[element];
    return writeAndSend(
        slot, [&] { slot = static_cast<int16_t>(v); },
        [&] { return k.debugDataClient->send(static_cast<uint8_t>(2 * element), reinterpret_cast<int8_t*>(&slot), 2); });
}

// Bounds of the vector fields, each used by the rows of its x, y and z.
template <class Model> int accIndexes(const Model& k) { return inUse(k.acc, k.accSize); }
template <class Model> int gyroIndexes(const Model& k) { return inUse(k.gyro, k.gyroSize); }
template <class Model> int compassIndexes(const Model& k) { return inUse(k.compass, k.compassSize); }
template <class Model> int dcmIndexes(const Model& k) { return inUse(k.dcm, k.dcmSize); }

inline bool zeroOrOne(int v) { return v == 0 || v == 1; }

// The rows name their IDs from the list.
using namespace DataIds;

// Rows: ID, bound, read, what a set accepts, what a set does.
template <class Model, class Device>
constexpr Row<Model, Device> sharedRows[] = {
    {id<Device, HW_VERSION>, single<Model>, [](Model& k, int, int) -> int { return k.HWversion; }, nullptr, nullptr},
    {id<Device, FW_VERSION>, single<Model>, [](Model& k, int, int) -> int { return k.FWversion; }, nullptr, nullptr},
    {id<Device, ACC_X>, accIndexes<Model>, [](Model& k, int i, int) -> int { return k.acc[i].x; }, nullptr, nullptr},
    {id<Device, ACC_Y>, accIndexes<Model>, [](Model& k, int i, int) -> int { return k.acc[i].y; }, nullptr, nullptr},
    {id<Device, ACC_Z>, accIndexes<Model>, [](Model& k, int i, int) -> int { return k.acc[i].z; }, nullptr, nullptr},
    {id<Device, GYRO_X>, gyroIndexes<Model>, [](Model& k, int i, int) -> int { return k.gyro[i].x; }, nullptr, nullptr},
    {id<Device, GYRO_Y>, gyroIndexes<Model>, [](Model& k, int i, int) -> int { return k.gyro[i].y; }, nullptr, nullptr},
    {id<Device, GYRO_Z>, gyroIndexes<Model>, [](Model& k, int i, int) -> int { return k.gyro[i].z; }, nullptr, nullptr},
    {id<Device, COMPASS_X>, compassIndexes<Model>, [](Model& k, int i, int) -> int { return k.compass[i].x; }, nullptr, nullptr},
    {id<Device, COMPASS_Y>, compassIndexes<Model>, [](Model& k, int i, int) -> int { return k.compass[i].y; }, nullptr, nullptr},
    {id<Device, COMPASS_Z>, compassIndexes<Model>, [](Model& k, int i, int) -> int { return k.compass[i].z; }, nullptr, nullptr},
    {id<Device, PRESSURE>, [](const Model& k) { return inUse(k.pressure, k.pressureSize); },
     [](Model& k, int i, int) -> int { return k.pressure[i]; }, nullptr, nullptr},
    {id<Device, TEMPERATURE>, [](const Model& k) { return inUse(k.temperature, k.temperatureSize); },
     [](Model& k, int i, int) -> int { return k.temperature[i]; }, nullptr, nullptr},
    {id<Device, DCM_X>, dcmIndexes<Model>, [](Model& k, int i, int) -> int { return k.dcm[i].x; }, nullptr, nullptr},
    {id<Device, DCM_Y>, dcmIndexes<Model>, [](Model& k, int i, int) -> int { return k.dcm[i].y; }, nullptr, nullptr},
    {id<Device, DCM_Z>, dcmIndexes<Model>, [](Model& k, int i, int) -> int { return k.dcm[i].z; }, nullptr, nullptr},
    {id<Device, TYPE>, single<Model>, [](Model& k, int, int) -> int { return k.type; }, nullptr, nullptr},
    {id<Device, DEBUG_DATA>, [](const Model& k) { return inUse(k.debugData, k.debugDataSize); },
     [](Model& k, int i, int) -> int { return k.debugData[i]; }, nullptr,
     [](Model& k, uint8_t i, int v) { return setDebugElement(k, i, v); }},
    {id<Device, ALIVE>, single<Model>, [](Model& k, int, int) -> int { return k.isAlive(); }, nullptr, nullptr},
    // 0 commands nothing.
    {id<Device, SECURE_ARM>, single<Model>, nullptr, zeroOrOne,
     [](Model& k, uint8_t, int v) { return v != 1 || sendSecureCommand(k, secureCommandArm); }},
    {id<Device, SECURE_COMMAND_50>, single<Model>, nullptr, zeroOrOne, [](Model& k, uint8_t, int v) { return sendSecureCommand(k, v ? 3 : 4); }},
    {id<Device, UPDATE_TIME>, single<Model>, [](Model& k, int, int) { return static_cast<int>(k.getUpdateTime()); }, nullptr, nullptr},
    {id<Device, ACTIVE_CONTROL>, single<Model>, nullptr, nullptr,
     [](Model& k, uint8_t, int v) {
         return writeAndSend(
             k.activControl, [&] { k.activControl = static_cast<uint16_t>(v); },
             [&] { return k.activControlClient->send(0, 0); });
     }},
    {id<Device, SECURE_COMMAND_53>, single<Model>, nullptr, zeroOrOne, [](Model& k, uint8_t, int v) { return sendSecureCommand(k, v ? 1 : 2); }},
};

}  // namespace DataMapPart
