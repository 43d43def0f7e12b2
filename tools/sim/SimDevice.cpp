#include "SimDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "DataTypes.h"

namespace ORQSim {

namespace {

const double pi = 3.14159265358979323846;

// Home of the simulated flight and of the ground station.
const double homeLatitude = 48.1351;
const double homeLongitude = 11.5820;
const double groundAltitudeM = 519.0;
const double metresPerDegree = 111320.0;

namespace DataType = ORQ::DataType;

// Flight-board debug block elements.
enum { batteryVoltage = 0, batteryCurrent, batteryUsedCapacity, rcQuality, fbLoopTime,
       fbLoopTimeMin, fbLoopTimeMax, simulateRCLoss, actGas, fbUptime, i2cErrors,
       sendMessageCounterRemote, fbTxChannel, fbRxChannel, fbGroupID, fbNewID, satsInUse,
       wpNumberAndIndex, wpHoldTime, fcFlags, ncFlags };
// Ground-station debug block elements.
enum { schuelerMode = 0, gsI2cError, gsLoopTime, gsLoopTimeMin, gsLoopTimeMax, gsTxChannel,
       gsRxChannel, gsGroupID, gsNewID, gsUptime };

void put16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}
void put32(uint8_t* p, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
}
int16_t get16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}
int32_t get32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}
int16_t clamp16(double v) {
    return static_cast<int16_t>(std::lround(std::min(32767.0, std::max(-32768.0, v))));
}
uint8_t clamp8(double v) {
    return static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, v))));
}
void putVec(uint8_t* p, int16_t x, int16_t y, int16_t z) {
    put16(p, x);
    put16(p + 2, y);
    put16(p + 4, z);
}
// Standard atmosphere, Pa at h metres above sea level.
double pressureAt(double h) { return 101325.0 * std::pow(1.0 - 2.25577e-5 * h, 5.25588); }

}  // namespace

SimDevice::SimDevice(uint8_t id, Type type, uint32_t seed, double rateMultiplier, int64_t start)
    : deviceID(id), deviceType(type), rng(seed ^ (0x9E3779B9u * (id + 1u))),
      rate(rateMultiplier > 0 ? rateMultiplier : 1.0), startMs(start), lastMs(start) {
    if (deviceType == FlightBoard) {
        debug[rcQuality] = 100;
        debug[fbLoopTimeMin] = 9999;
        debug[fbTxChannel] = 11;
        debug[fbRxChannel] = 12;
        debug[fbGroupID] = 3;
        debug[fbNewID] = id;
        debug[fcFlags] = 1;
        debug[ncFlags] = 1;
        std::snprintf(debugText, sizeof debugText, "sim board %u", static_cast<unsigned>(id));
        // A two-point mission: home and a loiter point north-east of it.
        waypoint[0] = Waypoint{static_cast<int32_t>(homeLongitude * 1e7), static_cast<int32_t>(homeLatitude * 1e7),
                               3000, 1, 0, 10, 5, 0, true};
        waypoint[1] = Waypoint{static_cast<int32_t>(homeLongitude * 1e7) + 20000,
                               static_cast<int32_t>(homeLatitude * 1e7) + 13500, 5000, 1, 450, 10, 30, 0, true};
        addStream(DataType::acc.report, 1, 50, start);
        addStream(DataType::gyro.report, 1, 50, start);
        addStream(DataType::compass.report, 2, 10, start);
        addStream(DataType::dist.report, 4, 5, start);
        addStream(DataType::pressure.report, 2, 10, start);
        addChannel(DataType::dcm.report, 0, 50, start);
        addChannel(DataType::dcm.report, 1, 10, start);
        addStream(DataType::motorOn.report, 1, 2, start);
        addStream(DataType::hwState.report, 1, 2, start);
        addStream(DataType::cmd.report, 1, 2, start);
        addStream(DataType::hwVersion.report, 1, 1, start);
        addStream(DataType::fwVersion.report, 1, 1, start);
        addStream(DataType::temperature.report, 1, 10, start);
        addStream(DataType::gpsMode.report, 1, 2, start);
        addStream(DataType::rcReceiver.report, 8, 2, start);
        addStream(DataType::gpsModeIs.report, 1, 2, start);
        addStream(DataType::currentPosition.report, 1, 5, start);
        addStream(DataType::debugData.report, 1, 2, start);
        addStream(DataType::waypoint.report, 2, 1, start);
        addStream(DataType::dcmAccZ.report, 1, 10, start);
        addStream(DataType::gyroCompass.report, 1, 10, start);
        addStream(DataType::debugText.report, 1, 1, start);
        addStream(DataType::secureCommand.report, 1, 1, start);
        addStream(DataType::heartbeat.report, 1, 1, start);
        addStream(DataType::activControl.report, 1, 1, start);
        addStream(DataType::fcVersion.report, 1, 1, start);
        addStream(DataType::pwmOutput.report, 4, 2, start);
    } else {
        debug[gsLoopTimeMin] = 9999;
        debug[gsTxChannel] = 11;
        debug[gsRxChannel] = 12;
        debug[gsGroupID] = 3;
        debug[gsNewID] = id;
        // Standing still: its sensors report at a fifth of the flight board's rate.
        addStream(DataType::acc.report, 1, 10, start);
        addStream(DataType::gyro.report, 1, 10, start);
        addStream(DataType::compass.report, 2, 10, start);
        addStream(DataType::pressure.report, 1, 10, start);
        addStream(DataType::dcm.report, 1, 10, start);
        addStream(DataType::rcSender.report, 8, 5, start);
        addStream(DataType::hwVersion.report, 1, 1, start);
        addStream(DataType::fwVersion.report, 1, 1, start);
        addStream(DataType::temperature.report, 1, 10, start);
        addStream(DataType::rcReceiver.report, 8, 2, start);
        addStream(DataType::debugData.report, 1, 2, start);
        addStream(DataType::dcmGyro.report, 1, 10, start);
        addStream(DataType::secureCommand.report, 1, 1, start);
        addStream(DataType::heartbeat.report, 1, 1, start);
        addStream(DataType::activControl.report, 1, 1, start);
    }
    advance(start);
}

void SimDevice::addStream(uint8_t dataType, uint8_t channels, double hz, int64_t nowMs) {
    for (uint8_t ch = 0; ch < channels; ++ch) addChannel(dataType, ch, hz, nowMs);
}

void SimDevice::addChannel(uint8_t dataType, uint8_t channel, double hz, int64_t nowMs) {
    const int64_t period = static_cast<int64_t>(std::max(1.0, 1000.0 / (hz * rate)));
    // Random phases keep the reports of one device from going out in bursts.
    const int64_t phase = static_cast<int64_t>(rng() % static_cast<uint32_t>(period));
    streams.push_back(Stream{dataType, channel, period, nowMs + phase});
}

double SimDevice::noise(double amplitude) {
    std::uniform_real_distribution<double> d(-amplitude, amplitude);
    return d(rng);
}

int SimDevice::debugCount() const { return deviceType == FlightBoard ? fbDebugCount : gsDebugCount; }

void SimDevice::setDebug(int element, double value) {
    if (!debugPinned[element]) debug[element] = clamp16(value);
}

void SimDevice::advance(int64_t nowMs) {
    const double t = static_cast<double>(nowMs - startMs) / 1000.0;
    const double dt = static_cast<double>(nowMs - lastMs) / 1000.0;
    lastMs = nowMs;
    if (deviceType == FlightBoard) {
        advanceFlightBoard(t, dt);
    } else {
        advanceGroundStation(t, dt);
    }
}

void SimDevice::advanceFlightBoard(double t, double dt) {
    // Take-off after 3 s, climb at 2 m/s to 60 m, then hold with a slow swell.
    const double h = t < 3 ? 0.0 : std::min(60.0, 2.0 * (t - 3)) + (t > 33 ? 2.0 * std::sin(2 * pi * (t - 33) / 30) : 0.0);
    const bool flying = h > 0.5;

    // Attitude in 0.1 degree: gentle rolling and pitching, yaw turning at 6 deg/s.
    const double rollPhase = 2 * pi * t / 20, pitchPhase = 2 * pi * t / 15 + 1;
    const double roll = flying ? 150 * std::sin(rollPhase) : 0;
    const double pitch = flying ? 80 * std::sin(pitchPhase) : 0;
    const double yaw = std::fmod(900 + (flying ? 60 * t : 0), 3600);
    const double r = roll * pi / 1800, p = pitch * pi / 1800, y = yaw * pi / 1800;
    dcm[0] = Vec{clamp16(roll + noise(2)), clamp16(pitch + noise(2)), clamp16(yaw)};
    dcm[1] = Vec{clamp16(-1000 * std::sin(p)), clamp16(1000 * std::sin(r) * std::cos(p)),
                 clamp16(1000 * std::cos(r) * std::cos(p))};
    acc = Vec{clamp16(-1000 * std::sin(p) + noise(8)), clamp16(1000 * std::sin(r) * std::cos(p) + noise(8)),
              clamp16(1000 * std::cos(r) * std::cos(p) + noise(8))};
    gyro = Vec{clamp16((flying ? 150 * 2 * pi / 20 * std::cos(rollPhase) : 0) + noise(3)),
               clamp16((flying ? 80 * 2 * pi / 15 * std::cos(pitchPhase) : 0) + noise(3)),
               clamp16((flying ? 60 : 0) + noise(3))};
    compass[0] = Vec{clamp16(200 * std::cos(y) + noise(4)), clamp16(-200 * std::sin(y) + noise(4)), clamp16(430 + noise(4))};
    compass[1] = Vec{clamp16(210 * std::cos(y) + 12 + noise(4)), clamp16(-210 * std::sin(y) - 7 + noise(4)),
                     clamp16(450 + noise(4))};

    pressure[0] = static_cast<int32_t>(std::lround(pressureAt(groundAltitudeM + h) + noise(3)));
    pressure[1] = static_cast<int32_t>(std::lround(pressureAt(groundAltitudeM + h) + 15 + noise(3)));
    temperature = clamp16(240 - 0.065 * h + 5 * std::sin(2 * pi * t / 600));
    dist[0] = static_cast<uint16_t>(std::min(600.0, h * 100 + 8));   // downward sonar, 6 m range
    for (int i = 1; i < 4; ++i) dist[i] = static_cast<uint16_t>(300 + 100 * std::sin(2 * pi * t / (9 + 2 * i)));

    // Horizontal track: circling home at 150 m; Hold stops, Home flies back.
    if (flying) {
        if (gpsModeIs == 2) {
            circleRadius = std::max(0.0, circleRadius - 5 * dt);
        } else if (gpsModeIs != 1) {
            circleRadius = std::min(150.0, circleRadius + 5 * dt);
            circleAngle += 2 * pi / 120 * dt;
        }
    }
    const double north = circleRadius * std::cos(circleAngle), east = circleRadius * std::sin(circleAngle);
    latitude = static_cast<int32_t>(std::llround((homeLatitude + north / metresPerDegree) * 1e7));
    longitude = static_cast<int32_t>(
        std::llround((homeLongitude + east / (metresPerDegree * std::cos(homeLatitude * pi / 180))) * 1e7));
    altitude = static_cast<int32_t>(std::lround((groundAltitudeM + h) * 100));
    positionStatus = t < 2 ? 0 : 3;

    for (int i = 0; i < 8; ++i) rcReceiver[i] = clamp8(128 + 60 * std::sin(2 * pi * t / (7 + i)));

    // Battery: 3S pack slowly running down, more current while flying.
    const double current = flying ? 9000 + noise(300) : 400 + noise(20);
    usedCapacity += current * dt / 3600.0;
    setDebug(batteryVoltage, 12600 - 1.2 * t - current * 0.02);
    setDebug(batteryCurrent, current);
    setDebug(batteryUsedCapacity, usedCapacity);
    setDebug(rcQuality, 97 + noise(3));
    const double loop = 2000 + noise(60);
    setDebug(fbLoopTime, loop);
    if (!debugPinned[fbLoopTimeMin]) debug[fbLoopTimeMin] = std::min<int16_t>(debug[fbLoopTimeMin], clamp16(loop));
    if (!debugPinned[fbLoopTimeMax]) debug[fbLoopTimeMax] = std::max<int16_t>(debug[fbLoopTimeMax], clamp16(loop));
    setDebug(fbUptime, std::floor(t));
    setDebug(sendMessageCounterRemote, static_cast<int16_t>(reportsSent));
    setDebug(satsInUse, t < 2 ? 0 : 9);
    int used = 0;
    for (const Waypoint& w : waypoint) used += w.used ? 1 : 0;
    setDebug(wpNumberAndIndex, used * 256 + 1);
}

void SimDevice::advanceGroundStation(double t, double dt) {
    (void)dt;
    // Standing on a table, pointing east; the pilot moves the sticks.
    dcm[0] = Vec{clamp16(noise(2)), clamp16(noise(2)), clamp16(900 + noise(2))};
    acc = Vec{clamp16(noise(6)), clamp16(noise(6)), clamp16(1000 + noise(6))};
    gyro = Vec{clamp16(noise(3)), clamp16(noise(3)), clamp16(noise(3))};
    compass[0] = Vec{clamp16(noise(4)), clamp16(-200 + noise(4)), clamp16(430 + noise(4))};
    compass[1] = Vec{clamp16(5 + noise(4)), clamp16(-195 + noise(4)), clamp16(440 + noise(4))};
    pressure[0] = static_cast<int32_t>(std::lround(pressureAt(groundAltitudeM + 1) + 20 * std::sin(2 * pi * t / 300) + noise(3)));
    temperature = clamp16(215 + 3 * std::sin(2 * pi * t / 900));
    const double period[8] = {11, 7, 9, 13, 17, 19, 23, 29};
    for (int i = 0; i < 8; ++i) {
        if (!rcSenderPinned[i]) rcSender[i] = clamp8(128 + (i < 4 ? 100 : 127) * std::sin(2 * pi * t / period[i]));
        rcReceiver[i] = rcSender[i];
    }
    const double loop = 1000 + noise(40);
    setDebug(gsLoopTime, loop);
    if (!debugPinned[gsLoopTimeMin]) debug[gsLoopTimeMin] = std::min<int16_t>(debug[gsLoopTimeMin], clamp16(loop));
    if (!debugPinned[gsLoopTimeMax]) debug[gsLoopTimeMax] = std::max<int16_t>(debug[gsLoopTimeMax], clamp16(loop));
    setDebug(gsUptime, std::floor(t));
}

void SimDevice::echo(uint8_t dataType, uint8_t channel) { pending.push_back(Pending{dataType, channel}); }

void SimDevice::collectReports(int64_t nowMs, std::vector<SimMessage>& out) {
    advance(nowMs);
    SimMessage m;
    for (const Pending& p : pending) {
        if (buildReport(p.dataType, p.channel, m)) out.push_back(m);
    }
    pending.clear();
    for (Stream& s : streams) {
        if (s.nextDueMs > nowMs) continue;
        if (buildReport(s.dataType, s.channel, m)) out.push_back(m);
        s.nextDueMs += s.periodMs;
        // After a stall, carry on from now instead of sending a burst.
        if (s.nextDueMs <= nowMs) s.nextDueMs = nowMs + s.periodMs;
    }
}

void SimDevice::collectAllReports(int64_t nowMs, std::vector<SimMessage>& out) {
    advance(nowMs);
    SimMessage m;
    for (const Stream& s : streams) {
        if (buildReport(s.dataType, s.channel, m)) out.push_back(m);
    }
}

int64_t SimDevice::nextDue() const {
    if (!pending.empty()) return lastMs;
    int64_t due = std::numeric_limits<int64_t>::max();
    for (const Stream& s : streams) due = std::min(due, s.nextDueMs);
    return due;
}

bool SimDevice::buildReport(uint8_t dataType, uint8_t channel, SimMessage& m) const {
    m.dataType = dataType;
    m.sender = deviceID;
    m.receiver = host;
    m.channel = channel;
    uint8_t* p = m.payload;
    switch (dataType) {
    case DataType::acc.report: putVec(p, acc.x, acc.y, acc.z); m.size = 6; break;
    case DataType::gyro.report: putVec(p, gyro.x, gyro.y, gyro.z); m.size = 6; break;
    case DataType::compass.report: putVec(p, compass[channel].x, compass[channel].y, compass[channel].z); m.size = 6; break;
    case DataType::dcm.report: putVec(p, dcm[channel].x, dcm[channel].y, dcm[channel].z); m.size = 6; break;
    case DataType::dist.report: put16(p, dist[channel]); m.size = 2; break;
    case DataType::pressure.report: put32(p, pressure[channel]); m.size = 4; break;
    case DataType::temperature.report: put16(p, temperature); m.size = 2; break;
    case DataType::hwVersion.report: put16(p, hwVersion); m.size = 2; break;
    case DataType::fwVersion.report: put16(p, fwVersion); m.size = 2; break;
    case DataType::fcVersion.report: put16(p, fcVersion); m.size = 2; break;
    case DataType::motorOn.report: p[0] = motorOn; m.size = 1; break;
    case DataType::hwState.report: p[0] = hwState; m.size = 1; break;
    case DataType::cmd.report: p[0] = cmd; m.size = 1; break;
    case DataType::gpsMode.report: p[0] = gpsMode; m.size = 1; break;
    case DataType::gpsModeIs.report: p[0] = gpsModeIs; m.size = 1; break;
    case DataType::rcReceiver.report: p[0] = rcReceiver[channel]; m.size = 1; break;
    case DataType::rcSender.report: p[0] = rcSender[channel]; m.size = 1; break;
    case DataType::currentPosition.report:
        put32(p, longitude);
        put32(p + 4, latitude);
        put32(p + 8, altitude);
        p[12] = positionStatus;
        m.size = 13;
        break;
    case DataType::debugData.report:
        for (int i = 0; i < debugCount(); ++i) put16(p + 2 * i, debug[i]);
        m.size = static_cast<uint8_t>(2 * debugCount());
        break;
    case DataType::waypoint.report: {
        if (channel >= waypointSlots) return false;
        const Waypoint& w = waypoint[channel];
        put32(p, w.longitude);
        put32(p + 4, w.latitude);
        put32(p + 8, w.altitude);
        p[12] = w.status;
        put16(p + 13, w.heading);
        p[15] = w.toleranceRadius;
        p[16] = w.holdTime;
        p[17] = w.type;
        m.size = 18;
        break;
    }
    case DataType::dcmAccZ.report:
        putVec(p, dcm[0].x, dcm[0].y, dcm[0].z);
        put16(p + 6, acc.z);
        m.size = 8;
        break;
    case DataType::gyroCompass.report:
        putVec(p, gyro.x, gyro.y, gyro.z);
        putVec(p + 6, compass[0].x, compass[0].y, compass[0].z);
        m.size = 12;
        break;
    case DataType::dcmGyro.report:
        putVec(p, dcm[0].x, dcm[0].y, dcm[0].z);
        putVec(p + 6, gyro.x, gyro.y, gyro.z);
        m.size = 12;
        break;
    case DataType::debugText.report: std::memcpy(p, debugText, sizeof debugText); m.size = sizeof debugText; break;
    case DataType::secureCommand.report: put32(p, secureCommand); m.size = 4; break;
    case DataType::heartbeat.report: p[0] = 1; m.size = 1; break;
    case DataType::activControl.report: put16(p, activControl); m.size = 2; break;
    case DataType::pwmOutput.report: put16(p, pwmOutput[channel]); m.size = 2; break;
    default: return false;
    }
    return true;
}

SimDevice::Handled SimDevice::handle(const SimMessage& m, int64_t nowMs, std::vector<SimMessage>& out) {
    if (m.receiver != deviceID) return Handled::Ignored;
    host = m.sender;
    if (m.dataType == DataType::typeRequest) {
        if (m.size != 0) return Handled::Ignored;
        SimMessage reply;
        reply.dataType = DataType::typeReply;
        reply.sender = deviceID;
        reply.receiver = m.sender;
        reply.size = 1;
        reply.payload[0] = deviceType;
        out.push_back(reply);
        return Handled::TypeRequest;
    }
    advance(nowMs);
    return applySet(m) ? Handled::Set : Handled::Ignored;
}

bool SimDevice::applySet(const SimMessage& m) {
    const bool fb = deviceType == FlightBoard;
    const uint8_t* p = m.payload;
    const uint8_t ch = m.channel;
    switch (m.dataType) {
    case DataType::motorOn.set:
        if (!fb || m.size != 1 || ch != 0) return false;
        motorOn = p[0];
        hwState = static_cast<uint8_t>(motorOn ? (hwState | 0x02) : (hwState & ~0x02));
        echo(DataType::motorOn.report, 0);
        echo(DataType::hwState.report, 0);
        return true;
    case DataType::gpsMode.set:
        if (!fb || m.size != 1 || ch != 0) return false;
        // Free, Hold and Home are flown; any other request is refused.
        if (p[0] <= 2) gpsMode = gpsModeIs = p[0];
        echo(DataType::gpsMode.report, 0);
        echo(DataType::gpsModeIs.report, 0);
        return true;
    case DataType::cmd.set:
        if (!fb || m.size != 1 || ch != 0) return false;
        cmd = p[0];
        // Calibrations complete at once; the rotation modes follow the command.
        if (cmd & 0x01) hwState |= 0x04;
        if (cmd & 0x02) hwState |= 0x08;
        hwState = static_cast<uint8_t>((hwState & ~0x30) | ((cmd & 0x0C) << 2));
        hwState = static_cast<uint8_t>((hwState & ~0x40) | ((cmd & 0x20) << 1));
        echo(DataType::cmd.report, 0);
        echo(DataType::hwState.report, 0);
        return true;
    case DataType::waypoint.set: {
        if (!fb || ch >= waypointSlots) return false;
        if (m.size == 18) {
            Waypoint& w = waypoint[ch];
            w.longitude = get32(p);
            w.latitude = get32(p + 4);
            w.altitude = get32(p + 8);
            w.status = p[12];
            w.heading = get16(p + 13);
            w.toleranceRadius = p[15];
            w.holdTime = p[16];
            w.type = p[17];
            if (!w.used) {
                w.used = true;
                addChannel(DataType::waypoint.report, ch, 1, lastMs);
            }
        } else if (m.size != 0) {
            return false;
        }
        echo(DataType::waypoint.report, ch);
        return true;
    }
    case DataType::secureCommand.set:
        if (m.size != 4 || ch != 0) return false;
        secureCommand = get32(p);
        echo(DataType::secureCommand.report, 0);
        return true;
    case DataType::activControl.set:
        if (m.size != 2 || ch != 0) return false;
        activControl = static_cast<uint16_t>(get16(p));
        echo(DataType::activControl.report, 0);
        return true;
    case DataType::pwmOutput.set:
        if (!fb || m.size != 2 || ch >= 4) return false;
        pwmOutput[ch] = static_cast<uint16_t>(get16(p));
        echo(DataType::pwmOutput.report, ch);
        return true;
    case DataType::rcSender.set:
        if (fb || m.size != 1 || ch >= 8) return false;
        rcSender[ch] = p[0];
        rcSenderPinned[ch] = true;
        echo(DataType::rcSender.report, ch);
        return true;
    case DataType::debugData.set:
    case DataType::debugData.report: {
        // A piece of the raw debug block: the channel is its byte offset.
        const int blockBytes = 2 * debugCount();
        if (m.size == 0 || ch + m.size > blockBytes) return false;
        uint8_t block[2 * fbDebugCount];
        for (int i = 0; i < debugCount(); ++i) put16(block + 2 * i, debug[i]);
        std::memcpy(block + ch, p, m.size);
        for (int i = ch / 2; i <= (ch + m.size - 1) / 2; ++i) {
            debug[i] = get16(block + 2 * i);
            debugPinned[i] = true;
        }
        echo(DataType::debugData.report, 0);
        return true;
    }
    default:
        return false;
    }
}

bool SimDevice::currentValue(int dataID, int index, int32_t& out) const {
    if (dataID == 30) {
        if (index != 0) return false;
        out = deviceType;
        return true;
    }
    return deviceType == FlightBoard ? currentFlightBoard(dataID, index, out) : currentGroundStation(dataID, index, out);
}

bool SimDevice::currentFlightBoard(int dataID, int index, int32_t& out) const {
    auto in = [index](int count) { return index >= 0 && index < count; };
    const int v = (dataID - 3) % 3;   // component of a vector for IDs 3..11 and 15..17
    auto component = [v](const Vec& vec) { return v == 0 ? vec.x : v == 1 ? vec.y : vec.z; };
    switch (dataID) {
    case 1: if (!in(1)) return false; out = hwVersion; return true;
    case 2: if (!in(1)) return false; out = fwVersion; return true;
    case 3: case 4: case 5: if (!in(1)) return false; out = component(acc); return true;
    case 6: case 7: case 8: if (!in(1)) return false; out = component(gyro); return true;
    case 9: case 10: case 11: if (!in(2)) return false; out = component(compass[index]); return true;
    case 12: if (!in(4)) return false; out = dist[index]; return true;
    case 13: if (!in(2)) return false; out = pressure[index]; return true;
    case 14: if (!in(1)) return false; out = temperature; return true;
    case 15: case 16: case 17: if (!in(2)) return false; out = component(dcm[index]); return true;
    case 18: if (!in(1)) return false; out = longitude; return true;
    case 19: if (!in(1)) return false; out = latitude; return true;
    case 20: if (!in(1)) return false; out = altitude; return true;
    case 22: if (!in(1)) return false; out = positionStatus; return true;
    case 23: if (!in(waypointSlots)) return false; out = waypoint[index].longitude; return true;
    case 24: if (!in(waypointSlots)) return false; out = waypoint[index].latitude; return true;
    case 25: if (!in(waypointSlots)) return false; out = waypoint[index].altitude; return true;
    case 27: if (!in(waypointSlots)) return false; out = waypoint[index].toleranceRadius; return true;
    case 28: if (!in(waypointSlots)) return false; out = waypoint[index].holdTime; return true;
    case 31: if (!in(1)) return false; out = motorOn; return true;
    case 32: if (!in(1)) return false; out = gpsModeIs; return true;
    case 33: if (!in(1)) return false; out = cmd & 0x01; return true;
    case 34: if (!in(1)) return false; out = (cmd >> 1) & 1; return true;
    case 35: if (!in(1)) return false; out = (hwState >> 1) & 0x1F; return true;
    case 36: if (!in(1)) return false; out = (cmd >> 2) & 1; return true;
    case 38: if (!in(1)) return false; out = (cmd >> 3) & 1; return true;
    case 39: if (!in(fbDebugCount)) return false; out = debug[index]; return true;
    case 41: if (!in(1)) return false; out = debug[simulateRCLoss]; return true;
    case 42: if (!in(1)) return false; out = (cmd >> 5) & 1; return true;
    case 43: if (!in(1)) return false; out = debug[actGas]; return true;
    case 44: if (!in(1)) return false; out = debug[fbUptime]; return true;
    case 49: case 50: case 53: if (!in(1)) return false; out = secureCommand; return true;
    case 52: if (!in(1)) return false; out = activControl; return true;
    case 54: if (!in(4)) return false; out = pwmOutput[index]; return true;
    default: return false;
    }
}

bool SimDevice::currentGroundStation(int dataID, int index, int32_t& out) const {
    auto in = [index](int count) { return index >= 0 && index < count; };
    const int v = (dataID - 3) % 3;
    auto component = [v](const Vec& vec) { return v == 0 ? vec.x : v == 1 ? vec.y : vec.z; };
    switch (dataID) {
    case 1: if (!in(1)) return false; out = hwVersion; return true;
    case 2: if (!in(1)) return false; out = fwVersion; return true;
    case 3: case 4: case 5: if (!in(1)) return false; out = component(acc); return true;
    case 6: case 7: case 8: if (!in(1)) return false; out = component(gyro); return true;
    case 9: case 10: case 11: if (!in(2)) return false; out = component(compass[index]); return true;
    case 13: if (!in(1)) return false; out = pressure[0]; return true;
    case 14: if (!in(1)) return false; out = temperature; return true;
    case 15: case 16: case 17: if (!in(1)) return false; out = component(dcm[0]); return true;
    case 29: if (!in(8)) return false; out = rcReceiver[index]; return true;
    case 37: if (!in(8)) return false; out = rcSender[index]; return true;
    case 39: if (!in(gsDebugCount)) return false; out = debug[index]; return true;
    case 49: case 50: case 53: if (!in(1)) return false; out = secureCommand; return true;
    case 52: if (!in(1)) return false; out = activControl; return true;
    default: return false;
    }
}

}  // namespace ORQSim
