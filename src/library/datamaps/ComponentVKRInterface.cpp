#include "datamaps/ComponentVKRInterface.h"

#include <cstdint>

#include "models/ComponentVKRClient.h"
#include "datamaps/DataMapPart.h"
#include "datamaps/SharedDataRows.h"

namespace {

using K = ORQ::ComponentVKRClient;
using namespace DataIds;
using Row = DataMapPart::Row<K, FLIGHT_BOARD>;
using DataMapPart::inUse;
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
template <class Name>
constexpr Id<FLIGHT_BOARD> id = DataIds::id<FLIGHT_BOARD, Name>;

constexpr Row rows[] = {
    {id<DISTANCE>, [](const K& k) { return inUse(k.dist, k.distSize); }, [](K& k, int i, int) -> int { return k.dist[i]; },
     nullptr, nullptr},
    {id<LONGITUDE>, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].longitude; }, nullptr, nullptr},
    {id<LATITUDE>, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].latitude; }, nullptr, nullptr},
    {id<ALTITUDE>, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].altitude; }, nullptr, nullptr},
    {id<GPS_STATUS>, positionIndexes, [](K& k, int i, int) -> int { return k.currentPosition[i].status; }, nullptr, nullptr},
    {id<WAYPOINT_LONGITUDE>, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.Position.longitude; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.Position.longitude = v; }); }},
    {id<WAYPOINT_LATITUDE>, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.Position.latitude; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.Position.latitude = v; }); }},
    {id<WAYPOINT_ALTITUDE>, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.Position.altitude; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.Position.altitude = v; }); }},
    {id<WAYPOINT_TOLERANCE_RADIUS>, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.ToleranceRadius; }, nullptr,
     [](K& k, uint8_t i, int v) {
         return setWaypoint(k, i, [&](auto& wp) { wp.ToleranceRadius = static_cast<uint8_t>(v); });
     }},
    {id<WAYPOINT_HOLD_TIME>, waypointIndexes, [](K& k, int i, int) -> int { return k.waypoint[i].point.HoldTime; }, nullptr,
     [](K& k, uint8_t i, int v) { return setWaypoint(k, i, [&](auto& wp) { wp.HoldTime = static_cast<uint8_t>(v); }); }},
    {id<MOTOR_ON>, single<K>, nullptr, nullptr,
     [](K& k, uint8_t, int v) {
         return writeAndSend(k.motorOn, [&] { k.motorOn = static_cast<uint8_t>(v); },
                             [&] { return k.motorOnClient->send(0); });
     }},
    // The board may report any byte; only the four modes the host knows are
    // handed over, anything else leaves the slot as it was. GPSModeUnknown
    // cannot be commanded.
    {id<GPS_MODE>, single<K>,
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
    {id<CALIBRATE_GYRO>, single<K>, nullptr, [](int v) { return v == 1; },
     [](K& k, uint8_t, int) { return setCmd(k, [&] { k.cmd.gyro = 1; }); }},
    {id<CALIBRATE_ACCEL>, single<K>, nullptr, [](int v) { return v == 1; },
     [](K& k, uint8_t, int) { return setCmd(k, [&] { k.cmd.accel = 1; }); }},
    {id<STATE>, single<K>, [](K& k, int, int) { return stateBits(k); }, nullptr, nullptr},
    {id<ROTATION_FREE>, single<K>, nullptr, nullptr, [](K& k, uint8_t, int v) { return setCmd(k, [&] { k.cmd.rotationFree = v != 0; }); }},
    {id<AUTO_ROTATE>, single<K>, nullptr, nullptr, [](K& k, uint8_t, int v) { return setCmd(k, [&] { k.cmd.autoRotate = v != 0; }); }},
    {id<SIMULATE_RC_LOSS>, single<K>, [](K& k, int, int) -> int { return *k.simulateRCLoss; }, nullptr,
     [](K& k, uint8_t, int v) { return setDebugElement(k, k.simulateRCLoss - k.debugData, v); }},
    // A read gives the safe-mode flag, a set commands the accelerometer flag.
    {id<SAFE_MODE>, single<K>, [](K& k, int, int) -> int { return k.cmd.safeMode; }, nullptr,
     [](K& k, uint8_t, int v) { return setCmd(k, [&] { k.cmd.accel = v != 0; }); }},
    {id<ACT_GAS>, single<K>, nullptr, nullptr, [](K& k, uint8_t, int v) { return setDebugElement(k, k.actGas - k.debugData, v); }},
    {id<UPTIME>, single<K>, [](K& k, int, int) -> int { return *k.uptime; }, nullptr, nullptr},
    {id<RECEIVED_MESSAGES>, single<K>, [](K& k, int, int) -> int { return k.recvMessageCounter; }, nullptr, nullptr},
    {id<PWM_OUTPUT>, [](const K& k) { return inUse(k.pwmOutput, k.pwmOutputSize); }, nullptr, nullptr,
     [](K& k, uint8_t i, int v) {
         return writeAndSend(k.pwmOutput[i], [&] { k.pwmOutput[i] = static_cast<uint16_t>(v); },
                             [&] { return k.pwmOutputClient->send(0, i); });
     }},
};
constexpr const auto& sharedRows = DataMapPart::sharedRows<K, FLIGHT_BOARD>;
static_assert(DataMapPart::distinctIds(rows, sharedRows), "one row per data ID");

const Row* rowOf(int dataID) { return DataMapPart::find(dataID, rows, sharedRows); }

}  // namespace

int ComponentVKRInterface::getDataKomplexPart(K* k, int dataID, int index, int** value, int* size) {
    return DataMapPart::read(rowOf(dataID), *k, index, value, size);
}

int ComponentVKRInterface::setDataKomplexPart(K* k, int dataID, int index, int** value, int* size) {
    return DataMapPart::set(rowOf(dataID), *k, index, value, size);
}
