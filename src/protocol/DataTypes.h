#pragma once
// The data types of the link protocol, each named once: the library's device
// models and type discovery, the device simulator's own codec and the tests'
// message builders all take their numbers from here. This header holds names
// only (no code), so sharing it does not make the simulator depend on the
// library's wire code.
//
// A mirrored value has a pair of types: the device reports it in an even
// type, and the library sends set and request messages for it in the odd
// type below. Type discovery is a pair of its own: the request (3) and the
// one-byte reply (4) carrying the device's type code.
#include <cstdint>

namespace ORQ {
namespace DataType {

struct Pair {
    uint8_t report;  // device to library
    uint8_t set;     // library to device: sets and requests
};

constexpr Pair pair(uint8_t report) { return Pair{report, static_cast<uint8_t>(report - 1)}; }

constexpr uint8_t typeRequest = 3;
constexpr uint8_t typeReply = 4;

constexpr Pair acc = pair(6);
constexpr Pair gyro = pair(8);
constexpr Pair compass = pair(10);
constexpr Pair dist = pair(12);
constexpr Pair pressure = pair(14);
constexpr Pair dcm = pair(16);
constexpr Pair rcSender = pair(18);  // ground station only
constexpr Pair motorOn = pair(20);
constexpr Pair hwState = pair(22);
constexpr Pair cmd = pair(24);
constexpr Pair hwVersion = pair(26);
constexpr Pair fwVersion = pair(28);
constexpr Pair temperature = pair(30);
constexpr Pair gpsMode = pair(32);
constexpr Pair rcReceiver = pair(34);
constexpr Pair gpsModeIs = pair(36);
constexpr Pair currentPosition = pair(38);
constexpr Pair debugData = pair(40);  // the raw debug block; pieces are set with the report type
constexpr Pair waypoint = pair(42);
constexpr Pair dcmGyro = pair(44);  // ground station only: dcm and gyro element 0 together
constexpr Pair dcmAccZ = pair(46);  // dcm element 0 and acc element 0's z together
constexpr Pair gyroCompass = pair(48);  // gyro and compass element 0 together
constexpr Pair debugText = pair(50);
constexpr Pair secureCommand = pair(52);
constexpr Pair heartbeat = pair(54);
constexpr Pair activControl = pair(56);
constexpr Pair fcVersion = pair(58);
constexpr Pair pwmOutput = pair(60);

}  // namespace DataType

// The payload of a type reply: which device model answers for the sender.
namespace DeviceCode {
constexpr uint8_t groundStation = 0;
constexpr uint8_t flightBoard = 1;
}  // namespace DeviceCode

}  // namespace ORQ
