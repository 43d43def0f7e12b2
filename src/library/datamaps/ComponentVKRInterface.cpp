#include "datamaps/ComponentVKRInterface.h"

#include <cstdint>

#include "models/ComponentVKRClient.h"
#include "datamaps/DataMapPart.h"
#include "datamaps/SharedDataRows.h"

namespace {

using K = ORQ::ComponentVKRClient;
using DataMapPart::inUse;
using DataMapPart::Row;
using DataMapPart::setDebugElement;
using DataMapPart::single;
using DataMapPart::writeAndSend;

int positionIndexes(const K& k) { return inUse(k.currentPosition, k.currentPositionSize); }
int waypointIndexes(const K& k) { return inUse(k.waypoint, k.waypointSize); }

// State bits for the host: motor, calibratedGyro, calibratedAccel,
// rotationFree and autoRotate as bits 0 to 4 (unknown and safeMode left out).
int stateBits(const K& k) {
    return static_cast<int>(k.hwState.motor) | static_cast<int>(k.hwState.calibratedGyro) << 1 |
           static_cast<int>(k.hwState.calibratedAccel) << 2 | static_cast<int>(k.hwState.rotationFree) << 3 |
           static_cast<int>(k.hwState.autoRotate) << 4;
}

// A waypoint field's set: the whole record is sent to the board.
template <class Write>
bool setWaypoint(K& k, uint8_t index, Write write) {
    ORQ::Container::GPSWaypoint::GPSPoint_t& wp = k.waypoint[index].point;
    return writeAndSend(wp, [&] { write(wp); }, [&] { return k.waypointClient->set(index); });
}

// A command flag's set: the whole command word is sent to the board.
template <class Write>
bool setCmd(K& k, Write write) {
    return writeAndSend(k.cmd, write, [&] { return k.cmdClient->send(0); });
}

// The flight board's own rows (the shared ones are in SharedDataRows.h):
// ID, bound, read, what a set accepts, what a set does.
constexpr Row<K> rows[] = {
    {12, [](const K& k) { return inUse(k.dist, k.distSize); }, [](K& k, int i, int) -> int { return k.dist[i]; },
     nullptr, nullptr},
    {18, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].longitude; }, nullptr, nullptr},
    {19, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].latitude; }, nullptr, nullptr},
    {20, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].altitude; }, nullptr, nullptr},
    {22, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].status; }, nullptr, nullptr},
    {23, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.Position.longitude; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.Position.longitude = v; }); }},
    {24, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.Position.latitude; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.Position.latitude = v; }); }},
    {25, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.Position.altitude; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.Position.altitude = v; }); }},
    {27, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.ToleranceRadius; }, nullptr,
     [](K& k, uint8_t i, int v) {
         return setWaypoint(k, i, [&](auto& wp) { wp.ToleranceRadius = static_cast<uint8_t>(v); });
     }},
    {28, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.HoldTime; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.HoldTime = static_cast<uint8_t>(v); }); }},
    {31, single<K>, nullptr, nullptr,
     [](K& k, uint8_t, int v) {
         return writeAndSend(k.motorOn, [&] { k.motorOn = static_cast<uint8_t>(v); },
                             [&] { return k.motorOnClient->send(0); });
     }},
    // The board may report any byte; only the four modes the host knows are
    // handed over, anything else leaves the slot as it was. GPSModeUnknown
    // cannot be commanded.
    {32, single<K>,
     [](K& k, int, int slot) {
         const uint32_t mode = k.gpsModeIs;
         return mode <= ORQ::ComponentVKR::GPSModeUnknown ? static_cast<int>(mode) : slot;
     },
     [](int v) { return v >= 0 && v <= 2; },
     [](K& k, uint8_t, int v) {
         return writeAndSend(k.gpsMode, [&] { k.gpsMode = static_cast<decltype(k.gpsMode)>(v); },
                             [&] { return k.gpsModeClient->send(0); });
     }},
    // 33 and 34 only ever raise their flag.
    {33, single<K>, nullptr, [](int v) { return v == 1; },
     [](K& k, uint8_t, int) { return setCmd(k, [&] { k.cmd.gyro = 1; }); }},
    {34, single<K>, nullptr, [](int v) { return v == 1; },
     [](K& k, uint8_t, int) { return setCmd(k, [&] { k.cmd.accel = 1; }); }},
    {35, single<K>, [](K& k, int, int) { return stateBits(k); }, nullptr, nullptr},
    {36, single<K>, nullptr, nullptr, [](K& k, uint8_t, int v) { return setCmd(k, [&] { k.cmd.rotationFree = v != 0; }); }},
    {38, single<K>, nullptr, nullptr, [](K& k, uint8_t, int v) { return setCmd(k, [&] { k.cmd.autoRotate = v != 0; }); }},
    {41, single<K>, [](K& k, int, int) -> int { return *k.simulateRCLoss; }, nullptr,
     [](K& k, uint8_t, int v) { return setDebugElement(k, k.simulateRCLoss - k.debugData, v); }},
    // A read gives the safe-mode flag, a set commands the accelerometer flag.
    {42, single<K>, [](K& k, int, int) -> int { return k.cmd.safeMode; }, nullptr,
     [](K& k, uint8_t, int v) { return setCmd(k, [&] { k.cmd.accel = v != 0; }); }},
    {43, single<K>, nullptr, nullptr, [](K& k, uint8_t, int v) { return setDebugElement(k, k.actGas - k.debugData, v); }},
    {44, single<K>, [](K& k, int, int) -> int { return *k.uptime; }, nullptr, nullptr},
    {46, single<K>, [](K& k, int, int) -> int { return k.recvMessageCounter; }, nullptr, nullptr},
    {54, [](const K& k) { return inUse(k.pwmOutput, k.pwmOutputSize); }, nullptr, nullptr,
     [](K& k, uint8_t i, int v) {
         return writeAndSend(k.pwmOutput[i], [&] { k.pwmOutput[i] = static_cast<uint16_t>(v); },
                             [&] { return k.pwmOutputClient->send(0, i); });
     }},
};
static_assert(DataMapPart::distinctIds(rows, DataMapPart::sharedRows<K>), "one row per data ID");

const Row<K>* rowOf(int dataID) { return DataMapPart::find(dataID, rows, DataMapPart::sharedRows<K>); }

}  // namespace

ComponentVKRInterface::~ComponentVKRInterface() {}

int ComponentVKRInterface::getDataKomplexPart(K* k, int dataID, int index, int** value, int* size) {
    return DataMapPart::read(rowOf(dataID), *k, index, value, size);
}

int ComponentVKRInterface::setDataKomplexPart(K* k, int dataID, int index, int** value, int* size) {
    return DataMapPart::set(rowOf(dataID), *k, index, value, size);
}
