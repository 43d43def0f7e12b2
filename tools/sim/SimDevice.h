#pragma once
// One simulated remote device (flight board or ground station): the values it
// holds, a slow simulated flight that moves them, the periodic reports of
// every value the library mirrors, and its reactions to type requests and set
// messages. Not thread-safe: the Simulator calls it under its own lock.
//
// Time is milliseconds on the simulator's monotonic clock. Units are the
// device's integers: angles and angular rates in 0.1 degree (per second),
// acceleration in mg, pressure in Pa, temperature in 0.1 degC, positions in
// 1e-7 degree and cm, battery in mV, mA and mAh, loop times in microseconds.
#include <cstdint>
#include <random>
#include <vector>

#include "DataTypes.h"
#include "SimMessage.h"

namespace ORQSim {

class SimDevice {
public:
    // The code the device answers a type request with.
    enum Type : uint8_t { GroundStation = ORQ::DeviceCode::groundStation, FlightBoard = ORQ::DeviceCode::flightBoard };
    enum class Handled { Ignored, TypeRequest, Set };

    // rate multiplies every report rate; startMs is the creation time.
    SimDevice(uint8_t id, Type type, uint32_t seed, double rate, int64_t startMs);

    uint8_t id() const { return deviceID; }
    Type type() const { return deviceType; }

    // Advances the simulated flight to nowMs and appends every report that is
    // due (set echoes first).
    void collectReports(int64_t nowMs, std::vector<SimMessage>& out);
    // Advances the simulated flight to nowMs and appends one report of every
    // value on every channel, all taken at that instant.
    void collectAllReports(int64_t nowMs, std::vector<SimMessage>& out);
    // Time at which the next report falls due.
    int64_t nextDue() const;
    // Acts on a message addressed to this device; a type reply goes to out.
    Handled handle(const SimMessage& m, int64_t nowMs, std::vector<SimMessage>& out);
    // The device's current value under a host data ID and index (the data-map
    // vocabulary of the library). Set-only IDs give the value last applied.
    // False for an ID or index this device does not have.
    bool currentValue(int dataID, int index, int32_t& out) const;

private:
    struct Vec {
        int16_t x = 0, y = 0, z = 0;
    };
    struct Waypoint {
        int32_t longitude = 0, latitude = 0, altitude = 0;
        uint8_t status = 0;
        int16_t heading = 0;
        uint8_t toleranceRadius = 0, holdTime = 0, type = 0xFF;
        bool used = false;
    };
    struct Stream {
        uint8_t dataType;
        uint8_t channel;
        int64_t periodMs;
        int64_t nextDueMs;
    };
    struct Pending {
        uint8_t dataType;
        uint8_t channel;
    };

    static const int waypointSlots = 90;
    static const int fbDebugCount = 21;
    static const int gsDebugCount = 10;

    // Reports channels 0..channels-1 of dataType, each at hz times the rate multiplier.
    void addStream(uint8_t dataType, uint8_t channels, double hz, int64_t nowMs);
    void addChannel(uint8_t dataType, uint8_t channel, double hz, int64_t nowMs);
    void advance(int64_t nowMs);
    void advanceFlightBoard(double t, double dt);
    void advanceGroundStation(double t, double dt);
    bool buildReport(uint8_t dataType, uint8_t channel, SimMessage& m) const;
    bool applySet(const SimMessage& m);
    void echo(uint8_t dataType, uint8_t channel);
    void setDebug(int element, double value);
    int debugCount() const;
    bool currentFlightBoard(int dataID, int index, int32_t& out) const;
    bool currentGroundStation(int dataID, int index, int32_t& out) const;
    double noise(double amplitude);

    uint8_t deviceID;
    Type deviceType;
    std::mt19937 rng;
    double rate;
    int64_t startMs;
    int64_t lastMs;
    uint8_t host = 0;        // reports go to the last node that addressed us
    uint16_t reportsSent = 0;

    std::vector<Stream> streams;
    std::vector<Pending> pending;

    // Values both devices report.
    Vec acc, gyro, compass[2], dcm[2];
    int32_t pressure[2] = {101325, 101325};
    int16_t temperature = 215;
    uint16_t hwVersion = 256, fwVersion = 3;
    uint8_t rcReceiver[8] = {};
    int16_t debug[fbDebugCount] = {};
    bool debugPinned[fbDebugCount] = {};   // written by the host: not animated any more
    int32_t secureCommand = 0;
    uint16_t activControl = 0;

    // Flight board only.
    uint16_t fcVersion = 2;
    uint16_t dist[4] = {};
    uint16_t pwmOutput[4] = {};
    uint8_t motorOn = 0, hwState = 0x0C, cmd = 0, gpsMode = 0, gpsModeIs = 0;
    int32_t longitude = 0, latitude = 0, altitude = 0;
    uint8_t positionStatus = 0;
    char debugText[20] = {};
    Waypoint waypoint[waypointSlots];
    double circleAngle = 0;       // position on the circuit around home, radians
    double circleRadius = 150;    // metres
    double usedCapacity = 0;      // mAh

    // Ground station only.
    uint8_t rcSender[8] = {};
    bool rcSenderPinned[8] = {};
};

}  // namespace ORQSim
