// The device simulator is the other end of the line in the library's
// end-to-end tests, so its own wire code is checked here against bytes worked
// out by hand, its behaviour as a device on a real pseudo-terminal, and the
// command line of orq-sim.
#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DataTypes.h"
#include "SimCodec.h"
#include "Simulator.h"

using ORQSim::SimCodec;
using ORQSim::SimDevice;
using ORQSim::SimMessage;
using ORQSim::Simulator;
using Bytes = std::vector<uint8_t>;
namespace DataType = ORQ::DataType;

namespace {

const auto deadline = std::chrono::seconds(10);

SimMessage message(uint8_t dataType, uint8_t sender, uint8_t receiver, uint8_t channel, const Bytes& payload) {
    SimMessage m;
    m.dataType = dataType;
    m.sender = sender;
    m.receiver = receiver;
    m.channel = channel;
    m.size = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), m.payload);
    return m;
}

Bytes payloadOf(const SimMessage& m) { return Bytes(m.payload, m.payload + m.size); }

Bytes frameOf(const SimMessage& m) {
    uint8_t out[SimCodec::maxFrame];
    const size_t n = SimCodec::encodeFrame(m, out, sizeof out);
    return Bytes(out, out + n);
}

std::vector<SimMessage> deframe(SimCodec& codec, const Bytes& bytes) {
    std::vector<SimMessage> found;
    SimMessage m;
    for (uint8_t b : bytes) {
        if (codec.push(b, m)) found.push_back(m);
    }
    return found;
}

// ---------------------------------------------------------------- framing

struct FramingCase {
    const char* name;
    SimMessage m;
    Bytes frame;
};

class SimCodecFraming : public ::testing::TestWithParam<FramingCase> {};

TEST_P(SimCodecFraming, EncodesTheHandComputedFrameAndDecodesItBack) {
    const FramingCase& c = GetParam();
    EXPECT_EQ(frameOf(c.m), c.frame);

    SimCodec codec;
    const std::vector<SimMessage> back = deframe(codec, c.frame);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].dataType, c.m.dataType);
    EXPECT_EQ(back[0].sender, c.m.sender);
    EXPECT_EQ(back[0].receiver, c.m.receiver);
    EXPECT_EQ(back[0].channel, c.m.channel);
    EXPECT_EQ(payloadOf(back[0]), payloadOf(c.m));
    EXPECT_EQ(codec.badFrames(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    HandComputed, SimCodecFraming,
    ::testing::Values(
        FramingCase{"EmptyMessage", message(0, 0, 0, 0, {}), {0xFD, 0x03, 0x00, 0x00, 0x00, 0x00, 0x03, 0xFC}},
        FramingCase{"StartByteInPayload", message(0x10, 1, 2, 0, {0xFD, 0x20}),
                    {0xFD, 0x03, 0x10, 0x01, 0x02, 0x00, 0xFE, 0x7D, 0x20, 0xCD, 0xFC}},
        FramingCase{"EndAndEscapeBytesInPayload", message(1, 2, 3, 4, {0xFC, 0xFE}),
                    {0xFD, 0x03, 0x01, 0x02, 0x03, 0x04, 0xFE, 0x7C, 0xFE, 0x7E, 0x05, 0xFC}},
        FramingCase{"EscapedDataTypeAndCheckByte", message(0xFE, 0, 0, 0, {}),
                    {0xFD, 0x03, 0xFE, 0x7E, 0x00, 0x00, 0x00, 0xFE, 0x7D, 0xFC}},
        FramingCase{"TypeReply", message(DataType::typeReply, 5, 1, 0, {ORQ::DeviceCode::flightBoard}), {0xFD, 0x03, 0x04, 0x05, 0x01, 0x00, 0x01, 0x02, 0xFC}}),
    [](const ::testing::TestParamInfo<FramingCase>& i) { return std::string(i.param.name); });

struct LayoutCase {
    const char* name;
    Bytes layout;
    bool decodes;
    uint8_t dataType, sender, receiver, channel;
    Bytes payload;
};

class SimCodecLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SimCodecLayouts, DecodesValidLayoutsAndRejectsDamagedOnes) {
    const LayoutCase& c = GetParam();
    SimMessage m;
    ASSERT_EQ(SimCodec::decodeLayout(c.layout.data(), c.layout.size(), m), c.decodes);
    if (!c.decodes) return;
    EXPECT_EQ(m.dataType, c.dataType);
    EXPECT_EQ(m.sender, c.sender);
    EXPECT_EQ(m.receiver, c.receiver);
    EXPECT_EQ(m.channel, c.channel);
    EXPECT_EQ(payloadOf(m), c.payload);
}

INSTANTIATE_TEST_SUITE_P(
    HandComputed, SimCodecLayouts,
    ::testing::Values(
        LayoutCase{"FullLayout", {0x02, 0x05, 0x01, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x10, 0x15}, true, 5, 1, 2, 0, {0x10}},
        LayoutCase{"FullLayoutOnChannel3", {0x02, 0x1F, 0x01, 0x05, 0x01, 0x00, 0x00, 0x01, 0x03, 0x02, 0x18}, true, 31, 1, 5, 3, {0x02}},
        LayoutCase{"FullLayoutLongerThanItsSize", {0x02, 0x05, 0x01, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x10, 0x11, 0x04}, false, 0, 0, 0, 0, {}},
        LayoutCase{"SmalWithoutPayload", {0x03, 0x03, 0x01, 0x05, 0x00, 0x04}, true, 3, 1, 5, 0, {}},
        LayoutCase{"SmalWrongCheckByte", {0x03, 0x10, 0x01, 0x02, 0x00, 0xFD, 0x20, 0xCE}, false, 0, 0, 0, 0, {}},
        LayoutCase{"UnknownFirstByte", {0x04, 0x10, 0x01, 0x02, 0x00, 0x17}, false, 0, 0, 0, 0, {}},
        LayoutCase{"TooShort", {0x03, 0x03}, false, 0, 0, 0, 0, {}}),
    [](const ::testing::TestParamInfo<LayoutCase>& i) { return std::string(i.param.name); });

struct StreamCase {
    const char* name;
    Bytes bytes;
    size_t messages;
    uint32_t bad;
};

const Bytes typeReplyFrame = {0xFD, 0x03, 0x04, 0x05, 0x01, 0x00, 0x01, 0x02, 0xFC};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

class SimCodecStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(SimCodecStream, FindsEveryIntactFrameAndCountsTheDamagedOnes) {
    const StreamCase& c = GetParam();
    SimCodec codec;
    const std::vector<SimMessage> found = deframe(codec, c.bytes);
    EXPECT_EQ(found.size(), c.messages);
    EXPECT_EQ(codec.badFrames(), c.bad);
    for (const SimMessage& m : found) EXPECT_EQ(m.dataType, DataType::typeReply);
}

INSTANTIATE_TEST_SUITE_P(
    Resynchronisation, SimCodecStream,
    ::testing::Values(
        StreamCase{"GarbageBeforeAFrame", join({{0x11, 0x22, 0xFE}, typeReplyFrame}), 1, 0},
        StreamCase{"AbandonedStart", join({{0xFD, 0x01, 0x02}, typeReplyFrame}), 1, 0},
        StreamCase{"TwoFrames", join({typeReplyFrame, typeReplyFrame}), 2, 0},
        StreamCase{"StrayEndByte", join({{0xFC}, typeReplyFrame}), 1, 0},
        StreamCase{"EmptyFrame", join({{0xFD, 0xFC}, typeReplyFrame}), 1, 1},
        StreamCase{"WrongCheckByte", join({{0xFD, 0x03, 0x04, 0x05, 0x01, 0x00, 0x01, 0x03, 0xFC}, typeReplyFrame}), 1, 1},
        StreamCase{"OverlongFrame", join({{0xFD}, Bytes(70, 0x01), {0xFC}, typeReplyFrame}), 1, 1}),
    [](const ::testing::TestParamInfo<StreamCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------- on a pty

// The library's side of the line: the pty slave, raw, read with a deadline.
class Line {
public:
    explicit Line(const std::string& path) {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return;
        termios t;
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    ~Line() {
        if (fd >= 0) close(fd);
    }
    bool isOpen() const { return fd >= 0; }

    void write(const Bytes& bytes) { ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    // Reads until a decoded message satisfies want (or, with a byte count,
    // until that many bytes have come); false at the deadline.
    bool waitFor(const std::function<bool(const SimMessage&)>& want, SimMessage* found = nullptr, size_t bytes = 0) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (std::chrono::steady_clock::now() < end) {
            if (bytes != 0 && raw.size() >= bytes) return true;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            uint8_t chunk[512];
            const ssize_t r = read(fd, chunk, sizeof chunk);
            for (ssize_t i = 0; i < r; ++i) {
                raw.push_back(chunk[i]);
                SimMessage m;
                if (!codec.push(chunk[i], m)) continue;
                ++decoded;
                if (want(m)) {
                    if (found) *found = m;
                    return true;
                }
            }
        }
        return false;
    }

    SimCodec codec;
    Bytes raw;
    size_t decoded = 0;

private:
    int fd = -1;
};

class SimulatorOnPty : public ::testing::Test {
protected:
    void SetUp() override { startWith(Simulator::Options()); }

    void startWith(const Simulator::Options& options) {
        line.reset();
        sim.reset(new Simulator(options));
        ASSERT_TRUE(sim->openPty());
        ASSERT_TRUE(sim->addDevice(5, SimDevice::FlightBoard));
        ASSERT_TRUE(sim->addDevice(6, SimDevice::GroundStation));
        ASSERT_TRUE(sim->start());
        line.reset(new Line(sim->path()));
        ASSERT_TRUE(line->isOpen());
    }

    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Line> line;
};

TEST_F(SimulatorOnPty, RefusesDeviceIDZeroAndDuplicateIDs) {
    EXPECT_FALSE(sim->addDevice(0, SimDevice::FlightBoard));
    EXPECT_FALSE(sim->addDevice(5, SimDevice::GroundStation));
    EXPECT_TRUE(sim->addDevice(7, SimDevice::GroundStation));
}

struct TypeRequestCase {
    const char* name;
    Bytes request;   // hand-built frame from node 1
    uint8_t device;
    uint8_t type;
};

class SimulatorTypeRequest : public SimulatorOnPty, public ::testing::WithParamInterface<TypeRequestCase> {};

TEST_P(SimulatorTypeRequest, DeviceAnswersWithItsTypeCode) {
    const TypeRequestCase& c = GetParam();
    line->write(c.request);
    SimMessage reply;
    ASSERT_TRUE(line->waitFor([&](const SimMessage& m) { return m.dataType == DataType::typeReply && m.sender == c.device; }, &reply));
    EXPECT_EQ(reply.receiver, 1);
    EXPECT_EQ(payloadOf(reply), Bytes{c.type});
    EXPECT_EQ(sim->counters().typeRequests, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    BothLayouts, SimulatorTypeRequest,
    ::testing::Values(TypeRequestCase{"FlightBoardSmal", {0xFD, 0x03, 0x03, 0x01, 0x05, 0x00, 0x04, 0xFC}, 5, ORQ::DeviceCode::flightBoard},
                      TypeRequestCase{"GroundStationSmal", {0xFD, 0x03, 0x03, 0x01, 0x06, 0x00, 0x07, 0xFC}, 6, ORQ::DeviceCode::groundStation},
                      TypeRequestCase{"FlightBoardFull",
                                      {0xFD, 0x02, 0x03, 0x01, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x04, 0xFC}, 5,
                                      ORQ::DeviceCode::flightBoard}),
    [](const ::testing::TestParamInfo<TypeRequestCase>& i) { return std::string(i.param.name); });

struct SetCase {
    const char* name;
    uint8_t device;
    uint8_t dataType;
    uint8_t channel;
    Bytes payload;
    int dataID;        // host data ID under which the device now holds the value
    int index;
    int32_t value;
    uint8_t echoType;  // report the device sends back
    uint8_t echoChannel;
    Bytes echoPayload;
};

class SimulatorSet : public SimulatorOnPty, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SimulatorSet, DeviceAppliesTheSetAndReportsTheNewState) {
    const SetCase& c = GetParam();
    line->write(frameOf(message(c.dataType, 1, c.device, c.channel, c.payload)));
    ASSERT_TRUE(sim->waitForSets(c.dataType, 1, deadline));
    int32_t v = 0;
    ASSERT_TRUE(sim->currentValue(c.device, c.dataID, c.index, v));
    EXPECT_EQ(v, c.value);
    // Reports sent before the set are still on the line: wait for the new state.
    SimMessage echo;
    EXPECT_TRUE(line->waitFor(
        [&](const SimMessage& m) {
            return m.sender == c.device && m.dataType == c.echoType && m.channel == c.echoChannel &&
                   (c.echoPayload.empty() || payloadOf(m) == c.echoPayload);
        },
        &echo));
    EXPECT_EQ(echo.receiver, 1);
}

INSTANTIATE_TEST_SUITE_P(
    FlightBoardAndGroundStation, SimulatorSet,
    ::testing::Values(
        SetCase{"GpsModeHome", 5, DataType::gpsMode.set, 0, {2}, 32, 0, 2, DataType::gpsModeIs.report, 0, {2}},
        SetCase{"MotorOn", 5, DataType::motorOn.set, 0, {1}, 31, 0, 1, DataType::motorOn.report, 0, {1}},
        SetCase{"MotorOnRaisesTheMotorStateBit", 5, DataType::motorOn.set, 0, {1}, 35, 0, 0x07, DataType::hwState.report, 0, {0x0E}},
        SetCase{"CmdAccel", 5, DataType::cmd.set, 0, {0x02}, 34, 0, 1, DataType::cmd.report, 0, {0x02}},
        SetCase{"CmdSafeMode", 5, DataType::cmd.set, 0, {0x20}, 42, 0, 1, DataType::cmd.report, 0, {0x20}},
        SetCase{"PwmOutput2", 5, DataType::pwmOutput.set, 2, {0xE8, 0x03}, 54, 2, 1000, DataType::pwmOutput.report, 2, {0xE8, 0x03}},
        SetCase{"ActivControl", 5, DataType::activControl.set, 0, {0x34, 0x12}, 52, 0, 0x1234, DataType::activControl.report, 0, {0x34, 0x12}},
        SetCase{"SecureCommandUnlock", 5, DataType::secureCommand.set, 0, {0x24, 0x6B, 0x3A, 0x5D}, 49, 0, 0x5D3A6B24, DataType::secureCommand.report, 0, {0x24, 0x6B, 0x3A, 0x5D}},
        SetCase{"WaypointWriteSlot3", 5, DataType::waypoint.set, 3,
                {0x80, 0x96, 0x98, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x64, 0x00, 0x00, 0x00, 0x01, 0x68, 0x01, 0x0A, 0x05, 0x00},
                23, 3, 10000000, DataType::waypoint.report, 3,
                {0x80, 0x96, 0x98, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x64, 0x00, 0x00, 0x00, 0x01, 0x68, 0x01, 0x0A, 0x05, 0x00}},
        SetCase{"WaypointRequestUnusedSlot", 5, DataType::waypoint.set, 7, {}, 23, 7, 0, DataType::waypoint.report, 7,
                {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}},
        SetCase{"DebugPieceSimulateRCLoss", 5, DataType::debugData.set, 14, {0x45, 0x23}, 41, 0, 0x2345, DataType::debugData.report, 0, {}},
        SetCase{"DebugPieceSentAsReportType", 5, DataType::debugData.report, 16, {0x01, 0x00}, 43, 0, 1, DataType::debugData.report, 0, {}},
        SetCase{"RcSender3", 6, DataType::rcSender.set, 3, {44}, 37, 3, 44, DataType::rcSender.report, 3, {44}},
        SetCase{"GroundStationActivControl", 6, DataType::activControl.set, 0, {0x01, 0x00}, 52, 0, 1, DataType::activControl.report, 0, {0x01, 0x00}}),
    [](const ::testing::TestParamInfo<SetCase>& i) { return std::string(i.param.name); });

// The debug-block echoes carry the whole block; check the piece landed in it.
TEST_F(SimulatorOnPty, DebugPieceLandsAtItsByteOffsetInTheReportedBlock) {
    line->write(frameOf(message(DataType::debugData.set, 1, 5, 14, {0x45, 0x23})));
    ASSERT_TRUE(sim->waitForSets(DataType::debugData.set, 1, deadline));
    SimMessage block;
    ASSERT_TRUE(line->waitFor(
        [](const SimMessage& m) { return m.sender == 5 && m.dataType == DataType::debugData.report && m.payload[14] == 0x45; }, &block));
    EXPECT_EQ(block.size, 42);
    EXPECT_EQ(block.payload[15], 0x23);
}

TEST_F(SimulatorOnPty, IgnoresSetsOfTheWrongShapeOrForOtherNodes) {
    const uint8_t pwmOutput = DataType::pwmOutput.set;
    line->write(frameOf(message(pwmOutput, 1, 5, 0, {0x01, 0x02, 0x03})));   // three bytes for a 16-bit value
    line->write(frameOf(message(pwmOutput, 1, 7, 0, {0x01, 0x02})));         // no such device
    line->write(frameOf(message(pwmOutput, 1, 5, 4, {0x01, 0x02})));         // only outputs 0..3
    line->write(frameOf(message(pwmOutput, 1, 6, 0, {0x01, 0x02})));         // a ground station has no PWM outputs
    line->write(frameOf(message(pwmOutput, 1, 5, 1, {0xDC, 0x05})));         // the one valid set, last
    ASSERT_TRUE(sim->waitForSets(pwmOutput, 1, deadline));
    EXPECT_EQ(sim->setsReceived(pwmOutput), 1u);
    int32_t v = -1;
    ASSERT_TRUE(sim->currentValue(5, 54, 0, v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(sim->currentValue(5, 54, 1, v));
    EXPECT_EQ(v, 1500);
}

TEST_F(SimulatorOnPty, RefusesAGpsModeItCannotFly) {
    line->write(frameOf(message(DataType::gpsMode.set, 1, 5, 0, {1})));
    line->write(frameOf(message(DataType::gpsMode.set, 1, 5, 0, {3})));
    ASSERT_TRUE(sim->waitForSets(DataType::gpsMode.set, 2, deadline));
    int32_t v = -1;
    ASSERT_TRUE(sim->currentValue(5, 32, 0, v));
    EXPECT_EQ(v, 1);
}

TEST_F(SimulatorOnPty, PausedDevicesSendNothingButStillApplySets) {
    sim->pauseReports(true);
    line->write({0xFD, 0x03, 0x03, 0x01, 0x05, 0x00, 0x04, 0xFC});   // type request: no answer while paused
    line->write(frameOf(message(DataType::gpsMode.set, 1, 5, 0, {2})));
    ASSERT_TRUE(sim->waitForSets(DataType::gpsMode.set, 1, deadline));
    EXPECT_EQ(sim->counters().typeRequests, 1u);
    EXPECT_TRUE(sim->waitForValue(5, 32, 0, 2, deadline));
    // Once the set is applied, everything due before the pause has been written.
    const uint64_t sent = sim->counters().framesSent;
    line->write(frameOf(message(DataType::gpsMode.set, 1, 5, 0, {1})));
    ASSERT_TRUE(sim->waitForSets(DataType::gpsMode.set, 2, deadline));
    EXPECT_EQ(sim->counters().framesSent, sent);

    // After resuming, the echo of the last set comes, and no type reply before it.
    sim->pauseReports(false);
    bool typeReply = false;
    EXPECT_TRUE(line->waitFor([&](const SimMessage& m) {
        typeReply = typeReply || m.dataType == DataType::typeReply;
        return m.sender == 5 && m.dataType == DataType::gpsModeIs.report && m.payload[0] == 1;
    }));
    EXPECT_FALSE(typeReply);
}

TEST_F(SimulatorOnPty, ReportsEveryValueTheFlightBoardModelMirrors) {
    std::vector<bool> seen(64, false);
    const DataType::Pair wired[] = {
        DataType::acc, DataType::gyro, DataType::compass, DataType::dist, DataType::pressure, DataType::dcm,
        DataType::motorOn, DataType::hwState, DataType::cmd, DataType::hwVersion, DataType::fwVersion,
        DataType::temperature, DataType::gpsMode, DataType::rcReceiver, DataType::gpsModeIs,
        DataType::currentPosition, DataType::debugData, DataType::waypoint, DataType::dcmAccZ,
        DataType::gyroCompass, DataType::debugText, DataType::secureCommand, DataType::heartbeat,
        DataType::activControl, DataType::fcVersion, DataType::pwmOutput};
    auto allSeen = [&] {
        for (const DataType::Pair& t : wired) {
            if (!seen[t.report]) return false;
        }
        return true;
    };
    ASSERT_TRUE(line->waitFor([&](const SimMessage& m) {
        if (m.sender == 5 && m.dataType < seen.size()) seen[m.dataType] = true;
        return allSeen();
    }));
}

TEST_F(SimulatorOnPty, ReportsEveryValueTheGroundStationModelMirrors) {
    std::vector<bool> seen(64, false);
    const DataType::Pair wired[] = {
        DataType::acc, DataType::gyro, DataType::compass, DataType::pressure, DataType::dcm, DataType::rcSender,
        DataType::hwVersion, DataType::fwVersion, DataType::temperature, DataType::rcReceiver, DataType::debugData,
        DataType::dcmGyro, DataType::secureCommand, DataType::heartbeat, DataType::activControl};
    ASSERT_TRUE(line->waitFor([&](const SimMessage& m) {
        if (m.sender == 6 && m.dataType < seen.size()) seen[m.dataType] = true;
        for (const DataType::Pair& t : wired) {
            if (!seen[t.report]) return false;
        }
        return true;
    }));
}

TEST_F(SimulatorOnPty, UptimeCountsAndTheReportedBlockCarriesIt) {
    ASSERT_TRUE(sim->waitForValue(5, 44, 0, 1, deadline));
    SimMessage block;
    ASSERT_TRUE(line->waitFor([](const SimMessage& m) { return m.sender == 5 && m.dataType == DataType::debugData.report && m.payload[18] >= 1; }, &block));
    EXPECT_EQ(block.size, 42);
}

struct NoiseCase {
    const char* name;
    double noise;
    bool expectIntactFrames;
};

class SimulatorNoise : public SimulatorOnPty, public ::testing::WithParamInterface<NoiseCase> {};

TEST_P(SimulatorNoise, DamagedFramesNeverDecodeAndIntactOnesAlways) {
    Simulator::Options options;
    options.noise = GetParam().noise;
    options.seed = 7;
    startWith(options);
    ASSERT_TRUE(line->waitFor([](const SimMessage&) { return false; }, nullptr, 4000));
    const Simulator::Counters c = sim->counters();
    if (GetParam().expectIntactFrames) {
        EXPECT_EQ(c.noiseInjected, 0u);
        EXPECT_GT(line->decoded, 0u);
        EXPECT_EQ(line->codec.badFrames(), 0u);
    } else {
        EXPECT_EQ(c.framesSent, 0u);
        EXPECT_GT(c.noiseInjected, 0u);
        EXPECT_EQ(line->decoded, 0u);
        EXPECT_GT(line->codec.badFrames(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Line, SimulatorNoise,
                         ::testing::Values(NoiseCase{"Clean", 0.0, true}, NoiseCase{"AllDamaged", 1.0, false}),
                         [](const ::testing::TestParamInfo<NoiseCase>& i) { return std::string(i.param.name); });

// orq-sim with these arguments: its exit status and what it wrote (both streams).
int runSim(const std::string& arguments, std::string& text) {
    const std::string command = std::string(ORQ_BINARY_DIR) + "/tools/orq-sim " + arguments + " 2>&1";
    FILE* sim = ::popen(command.c_str(), "r");
    if (sim == nullptr) return -1;
    char buffer[512];
    text.clear();
    while (std::fgets(buffer, sizeof buffer, sim)) text += buffer;
    const int status = ::pclose(sim);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SimulatorCommand, TakesEveryOptionBothWaysAndRefusesBadOnes) {
    const struct {
        const char* arguments;
        int status;
        const char* output;  // a part of what it writes
    } table[] = {
        {"--version", 0, "orq-sim "},
        {"--help", 0, "--udp-listen"},
        {"--fb=7 --gs 8 --udp-listen=0 --rate=2 --noise 0 --seed=3 --duration=0.2",
         0, "serving on udpout://127.0.0.1:"},
        {"--fb 7 --tcp-connect 1 --duration 0.2", 0, "serving on tcpin://127.0.0.1:1 flight-board 7\n"},
        {"--fb 0", 2, "--fb"},
        {"--noise=1.5", 2, "--noise"},
        {"--tcp 5760 --udp-listen 14550", 2, "excludes"},
        {"--link /tmp/x --tcp-connect 5760", 2, "excludes"},
        {"--tcp-connect 0", 2, "--tcp-connect"},
        {"--bogus", 2, "--bogus"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.arguments);
        std::string text;
        EXPECT_EQ(row.status, runSim(row.arguments, text));
        EXPECT_NE(std::string::npos, text.find(row.output)) << text;
    }
}

}  // namespace
