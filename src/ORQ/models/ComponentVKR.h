#pragma once
// Mirror of a flight board (component type 1): every value the board reports,
// each array with the count of its elements in use (the *Size bytes; indexes
// below a count are valid). ComponentVKRClient wires the handlers that fill
// these fields.
//
// Threads: every field is guarded by the component's data lock: handlers
// write under it on the receive thread, the data map reads and writes under
// it on host threads. print() reads without the lock (diagnostics only).
#include <cstdint>

#include "node/Component.h"
#include "Container/GPSPosition.h"
#include "Container/GPSWaypoint.h"
#include "libZIR/Vector3Dint16.h"

namespace ORQ {

class ComponentVKR : public Component {
public:
    // Board state flags. The Int8 client carries only the low byte of the
    // word, where every defined bit lies; the higher bits stay 0.
    struct HWstate {
        uint32_t unknown : 1;
        uint32_t motor : 1;
        uint32_t calibratedGyro : 1;
        uint32_t calibratedAccel : 1;
        uint32_t rotationFree : 1;
        uint32_t autoRotate : 1;
        uint32_t safeMode : 1;
    };
    // Command flags, carried like HWstate.
    struct CMD {
        uint32_t gyro : 1;
        uint32_t accel : 1;
        uint32_t rotationFree : 1;
        uint32_t autoRotate : 1;
        uint32_t debug : 1;
        uint32_t safeMode : 1;
    };
    enum GPSMode : uint32_t {
        GPSModeFree = 0,
        GPSModeHold = 1,
        GPSModeHome = 2,
        GPSModeUnknown = 3,
    };

    explicit ComponentVKR(uint8_t id);
    ~ComponentVKR() override;

    // Three "[ComponentVKR] ID ..." lines on standard output.
    void print();

    TALVEK::ZIR::Vector3Dint16 dcm[2];
    uint8_t dcmSize;
    TALVEK::ZIR::Vector3Dint16 acc[2];
    uint8_t accSize;
    TALVEK::ZIR::Vector3Dint16 gyro[1];
    uint8_t gyroSize;
    int32_t pressure[2];
    uint8_t pressureSize;
    int16_t temperature[2];
    uint8_t temperatureSize;
    TALVEK::ZIR::Vector3Dint16 compass[2];
    uint8_t compassSize;
    uint16_t FWversion;
    uint16_t HWversion;
    uint16_t FCversion;
    uint16_t dist[10];
    uint8_t distSize;
    uint8_t failSafe;  // no handler carries it
    uint16_t pwmOutput[4];
    uint8_t pwmOutputSize;
    HWstate hwState;
    CMD cmd;
    uint8_t motorOn;
    uint8_t rcReceiver[8];
    uint8_t rcReceiverSize;
    int32_t secureCommand[1];
    uint8_t secureCommandSize;
    GPSMode gpsMode;    // commanded to the board
    GPSMode gpsModeIs;  // reported by the board
    uint8_t oneSize;    // count of every single-valued field
    Container::GPSPosition currentPosition[1];
    uint8_t currentPositionSize;

    // The board's debug block: 21 int16 values, element k in payload bytes
    // 2k (low) and 2k+1 (high). The views below point at its elements for the
    // whole life of the object.
    int16_t debugData[21];
    uint8_t debugDataSize;
    int16_t* batteryVoltage;
    int16_t* batteryCurrent;
    int16_t* batteryUsedCapacity;
    int16_t* rcQuality;
    int16_t* mainLoopTime;
    int16_t* mainLoopTimeMin;
    int16_t* mainLoopTimeMax;
    int16_t* simulateRCLoss;
    int16_t* actGas;
    int16_t* uptime;
    int16_t* i2cErrors;
    int16_t* sendMessageCounterRemote;
    int16_t* wi_txchannel;
    int16_t* wi_rxchannel;
    int16_t* wi_group_id;
    int16_t* newID;  // hides Component::newID
    int16_t* satsInUse;
    int16_t* WPNumberAndIndex;
    int16_t* WPHoldTime;
    int16_t* FCFlags;
    int16_t* NCFlags;

    int8_t debugText[20];
    uint8_t debugTextSize;
    // One element per slot of the largest mission (waypointSize), so every
    // valid slot has its own element.
    Container::GPSWaypoint waypoint[90];
    uint8_t waypointSize;
    uint16_t activControl;
};

static_assert(sizeof(ComponentVKR::HWstate) == 4, "hwState is one 32-bit word");
static_assert(sizeof(ComponentVKR::CMD) == 4, "cmd is one 32-bit word");
static_assert(sizeof(ComponentVKR::GPSMode) == 4, "gpsMode is one 32-bit word");

}  // namespace ORQ
