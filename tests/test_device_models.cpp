// The flight-board and ground-station models: their initial state, the
// handlers wired to their fields (every wired data type lands in exactly its
// field, and no two handlers take the same type), the debug blocks and
// combined reports, the set messages of their clients, the heartbeat that
// keeps them in the world model, their diagnostic lines, and what a model
// costs in memory.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <ostream>
#include <cstring>
#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "models/ComponentQRNClient.h"
#include "models/ComponentVKRClient.h"
#include "ManagerHarness.h"
#include "TestMessages.h"
#include "WireFrames.h"
#include "routing/WorldModel.h"

// Every allocation of this program is counted, for the memory a model takes.
std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> allocatedBytes{0};

void* countedAllocation(std::size_t size) {
    ++allocations;
    allocatedBytes += size;
    return std::malloc(size == 0 ? 1 : size);
}

// The replacements pair malloc with free by design; GCC takes the calls for
// the built-in operators and would call them mismatched.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (void* p = countedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = countedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using ORQ::ComponentQRNClient;
using ORQ::ComponentVKR;
using ORQ::ComponentVKRClient;
using ORQ::Message;
using ORQ::test::makeMessage;
using ORQ::test::payloadOf;
using ORQ::test::Bytes;
using ORQ::test::cat;
using ORQ::test::le16;
using ORQ::test::le32;
using ORQ::test::vec3;

const uint8_t myID = 1;
const uint8_t deviceID = 9;


std::vector<ORQ::MessageHandler*> chain(ORQ::Component& c) {
    std::vector<ORQ::MessageHandler*> handlers;
    for (ORQ::MessageHandler* h = c.mh; h != nullptr; h = h->next) handlers.push_back(h);
    return handlers;
}

std::vector<uint8_t> counts(ORQ::Component& c) {
    std::vector<uint8_t> n;
    for (ORQ::MessageHandler* h : chain(c)) n.push_back(h->dataCount);
    return n;
}

// Handlers of c whose count rose by one while `act` ran.
size_t takers(ORQ::Component& c, const std::function<void()>& act) {
    const std::vector<uint8_t> before = counts(c);
    act();
    const std::vector<uint8_t> after = counts(c);
    size_t n = 0;
    for (size_t i = 0; i < before.size(); ++i) n += after[i] != before[i] ? 1 : 0;
    return n;
}

// A typed model registered with a manager whose clock the test drives.
template <class Model>
class ModelTest : public ::testing::Test {
protected:
    ModelTest() : link(myID), model(new Model(deviceID)) {
        link.mm.getWorldModel()->addComponent(model);
        link.tick(1000);
    }

    void report(uint8_t type, const Bytes& payload, uint8_t channel = 0) {
        Message m = makeMessage(type, deviceID, myID, channel, payload);
        model->procNewMessage(&m);
    }

    ORQ::test::ManagerHarness link;
    Model* model;  // owned by the world model
};

using FlightBoard = ModelTest<ComponentVKRClient>;
using GroundStation = ModelTest<ComponentQRNClient>;

// ---------------------------------------------------------------- initial state

TEST_F(FlightBoard, StartsWithTheBoardsInitialValues) {
    const ComponentVKR& b = *model;
    EXPECT_EQ(b.type, 1);
    EXPECT_EQ(b.gpsMode, ComponentVKR::GPSModeFree);
    EXPECT_EQ(b.gpsModeIs, ComponentVKR::GPSModeUnknown);
    EXPECT_EQ(b.HWversion, 256);
    EXPECT_EQ(b.FWversion, 1);
    EXPECT_EQ(b.FCversion, 1);
    uint32_t hw;
    std::memcpy(&hw, &b.hwState, sizeof(hw));
    EXPECT_EQ(hw, 1u) << "only `unknown` set";
    uint32_t cmd;
    std::memcpy(&cmd, &b.cmd, sizeof(cmd));
    EXPECT_EQ(cmd, 0u);
    EXPECT_EQ(*b.rcQuality, -1);
    EXPECT_EQ(*b.mainLoopTimeMin, 9999);
    for (int k = 0; k < 21; ++k) {
        if (k != 3 && k != 5) {
            EXPECT_EQ(b.debugData[k], 0) << "debug element " << k;
        }
    }
    for (int k = 0; k < 10; ++k) EXPECT_EQ(b.dist[k], 0);
    for (int k = 0; k < 20; ++k) EXPECT_EQ(b.debugText[k], 0);
    EXPECT_EQ(b.temperature[1], 0);
    EXPECT_EQ(b.pressure[1], 0);
    EXPECT_EQ(b.activControl, 0);
    EXPECT_EQ(b.motorOn, 0);
    EXPECT_EQ(b.waypoint[89].point.Type, 255);

    const std::vector<std::pair<const char*, uint8_t>> counts = {
        {"dcmSize", b.dcmSize},         {"accSize", b.accSize},
        {"gyroSize", b.gyroSize},       {"pressureSize", b.pressureSize},
        {"temperatureSize", b.temperatureSize}, {"compassSize", b.compassSize},
        {"distSize", b.distSize},       {"pwmOutputSize", b.pwmOutputSize},
        {"rcReceiverSize", b.rcReceiverSize}, {"secureCommandSize", b.secureCommandSize},
        {"oneSize", b.oneSize},         {"currentPositionSize", b.currentPositionSize},
        {"debugDataSize", b.debugDataSize}, {"debugTextSize", b.debugTextSize},
        {"waypointSize", b.waypointSize},
    };
    const uint8_t expected[] = {2, 1, 1, 2, 1, 2, 4, 4, 8, 1, 1, 1, 21, 20, 90};
    for (size_t i = 0; i < counts.size(); ++i) EXPECT_EQ(counts[i].second, expected[i]) << counts[i].first;
    EXPECT_EQ(sizeof(b.waypoint) / sizeof(b.waypoint[0]), b.waypointSize) << "one element per usable slot";
}

TEST_F(GroundStation, StartsWithTheStationsInitialValues) {
    const ORQ::ComponentQRN& s = *model;
    EXPECT_EQ(s.type, 0);
    EXPECT_EQ(s.HWversion, 256);
    EXPECT_EQ(s.FWversion, 1);
    const uint8_t rc[8] = {0, 128, 128, 128, 128, 128, 128, 128};
    EXPECT_EQ(std::memcmp(s.rcSender, rc, 8), 0);
    EXPECT_EQ(*s.mainLoopTimeMin, 9999);
    for (int k = 0; k < 10; ++k) {
        if (k != 3) {
            EXPECT_EQ(s.debugData[k], 0) << "debug element " << k;
        }
    }
    EXPECT_EQ(s.compassSize, 2);
    EXPECT_EQ(s.pressureSize, 1);
    EXPECT_EQ(s.dcmSize, 1);
    EXPECT_EQ(s.accSize, 1);
    EXPECT_EQ(s.rcSenderSize, 8);
    EXPECT_EQ(s.rcReceiverSize, 8);
    EXPECT_EQ(s.debugDataSize, 10);
    EXPECT_EQ(s.oneSize, 1);
    EXPECT_EQ(s.activControl, 0);
    EXPECT_EQ(s.pressure[1], 0);
    EXPECT_EQ(s.temperature[1], 0);
}

TEST_F(GroundStation, IsAStationModelUnlikeAPlaceholderOfTheSameTypeCode) {
    ORQ::WorldModel* wm = link.mm.getWorldModel();
    wm->addComponent(new ORQ::Component(3));
    ORQ::Component* placeholder = wm->getComponent(3);
    ORQ::Component* station = wm->getComponent(deviceID);
    EXPECT_EQ(placeholder->type, station->type);
    EXPECT_NE(dynamic_cast<ORQ::ComponentQRN*>(station), nullptr);
    EXPECT_EQ(dynamic_cast<ORQ::ComponentQRN*>(placeholder), nullptr);
}

// ---------------------------------------------------------------- wiring

struct Wired {
    uint8_t type;
    uint8_t channel;
    Bytes payload;
    std::function<void(ComponentVKRClient&)> expect;
};

void PrintTo(const Wired& w, std::ostream* os) { *os << "type " << int(w.type); }

class FlightBoardWiring : public FlightBoard, public ::testing::WithParamInterface<Wired> {};

TEST_P(FlightBoardWiring, ReportLandsInItsFieldThroughExactlyOneHandler) {
    const Wired& w = GetParam();
    EXPECT_EQ(takers(*model, [&] { report(w.type, w.payload, w.channel); }), 1u);
    w.expect(*model);
    EXPECT_EQ(model->getUpdateTime(), 0u);
}

const Wired flightBoardWiring[] = {
    {6, 1, vec3(1, -2, 3), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.acc[1].x, 1); EXPECT_EQ(b.acc[1].y, -2); EXPECT_EQ(b.acc[1].z, 3); }},
    {8, 0, vec3(4, 5, -6), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.gyro[0].x, 4); EXPECT_EQ(b.gyro[0].y, 5); EXPECT_EQ(b.gyro[0].z, -6); }},
    {10, 1, vec3(7, 8, 9), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.compass[1].x, 7); EXPECT_EQ(b.compass[1].z, 9); }},
    {12, 3, le16(0xFFFE), [](ComponentVKRClient& b) { EXPECT_EQ(b.dist[3], 0xFFFE); }},
    {14, 1, le32(101325), [](ComponentVKRClient& b) { EXPECT_EQ(b.pressure[1], 101325); }},
    {16, 1, vec3(-1, -1, -1), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.dcm[1].x, -1); EXPECT_EQ(b.dcm[1].z, -1); EXPECT_EQ(b.dcm[0].x, 0); }},
    {20, 0, {1}, [](ComponentVKRClient& b) { EXPECT_EQ(b.motorOn, 1); }},
    {22, 0, {0x06}, [](ComponentVKRClient& b) {
         EXPECT_EQ(b.hwState.unknown, 0u);
         EXPECT_EQ(b.hwState.motor, 1u);
         EXPECT_EQ(b.hwState.calibratedGyro, 1u);
         EXPECT_EQ(b.hwState.calibratedAccel, 0u);
         EXPECT_EQ(b.hwState.safeMode, 0u); }},
    {24, 0, {0x30}, [](ComponentVKRClient& b) {
         EXPECT_EQ(b.cmd.debug, 1u); EXPECT_EQ(b.cmd.safeMode, 1u); EXPECT_EQ(b.cmd.gyro, 0u); }},
    {26, 0, le16(0x0203), [](ComponentVKRClient& b) { EXPECT_EQ(b.HWversion, 0x0203); }},
    {28, 0, le16(0x8001), [](ComponentVKRClient& b) { EXPECT_EQ(b.FWversion, 0x8001); }},
    {30, 1, le16(-40), [](ComponentVKRClient& b) { EXPECT_EQ(b.temperature[1], -40); }},
    {32, 0, {2}, [](ComponentVKRClient& b) { EXPECT_EQ(b.gpsMode, ComponentVKR::GPSModeHome); }},
    {34, 7, {200}, [](ComponentVKRClient& b) { EXPECT_EQ(b.rcReceiver[7], 200); }},
    {36, 0, {1}, [](ComponentVKRClient& b) { EXPECT_EQ(b.gpsModeIs, ComponentVKR::GPSModeHold); }},
    {38, 0, cat({le32(-5), le32(6), le32(7), {8}}), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.currentPosition[0].longitude, -5);
         EXPECT_EQ(b.currentPosition[0].latitude, 6);
         EXPECT_EQ(b.currentPosition[0].altitude, 7);
         EXPECT_EQ(b.currentPosition[0].status, 8); }},
    {40, 0, le16(1234), [](ComponentVKRClient& b) { EXPECT_EQ(*b.batteryVoltage, 1234); }},
    {42, 89, cat({le32(1), le32(2), le32(3), {4}, le16(5), {6, 7, 8}}), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.waypoint[89].point.Position.longitude, 1);
         EXPECT_EQ(b.waypoint[89].point.Type, 8);
         EXPECT_EQ(b.waypoint[89].point.Index, 90); }},
    {46, 0, cat({vec3(10, 20, 30), le16(-40)}), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.dcm[0].x, 10); EXPECT_EQ(b.dcm[0].y, 20); EXPECT_EQ(b.dcm[0].z, 30);
         EXPECT_EQ(b.acc[0].z, -40); EXPECT_EQ(b.acc[0].x, 0); }},
    {48, 0, cat({vec3(1, 2, 3), vec3(4, 5, 6)}), [](ComponentVKRClient& b) {
         EXPECT_EQ(b.gyro[0].x, 1); EXPECT_EQ(b.gyro[0].z, 3);
         EXPECT_EQ(b.compass[0].x, 4); EXPECT_EQ(b.compass[0].z, 6); }},
    {50, 0, {'h', 'i', 0}, [](ComponentVKRClient& b) { EXPECT_STREQ(reinterpret_cast<char*>(b.debugText), "hi"); }},
    {52, 0, le32(0x5EC), [](ComponentVKRClient& b) { EXPECT_EQ(b.secureCommand[0], 0x5EC); }},
    {54, 0, {0}, [](ComponentVKRClient& b) { EXPECT_EQ(b.isAlive(), 1); }},
    {56, 0, le16(0xBEEF), [](ComponentVKRClient& b) { EXPECT_EQ(b.activControl, 0xBEEF); }},
    {58, 0, le16(7), [](ComponentVKRClient& b) { EXPECT_EQ(b.FCversion, 7); }},
    {60, 3, le16(2000), [](ComponentVKRClient& b) { EXPECT_EQ(b.pwmOutput[3], 2000); }},
};

INSTANTIATE_TEST_SUITE_P(Types, FlightBoardWiring, ::testing::ValuesIn(flightBoardWiring),
                         [](const ::testing::TestParamInfo<Wired>& i) {
                             return "Type" + std::to_string(i.param.type);
                         });

struct WiredQRN {
    uint8_t type;
    uint8_t channel;
    Bytes payload;
    std::function<void(ComponentQRNClient&)> expect;
};

void PrintTo(const WiredQRN& w, std::ostream* os) { *os << "type " << int(w.type); }

class GroundStationWiring : public GroundStation, public ::testing::WithParamInterface<WiredQRN> {};

TEST_P(GroundStationWiring, ReportLandsInItsFieldThroughExactlyOneHandler) {
    const WiredQRN& w = GetParam();
    EXPECT_EQ(takers(*model, [&] { report(w.type, w.payload, w.channel); }), 1u);
    w.expect(*model);
    EXPECT_EQ(model->getUpdateTime(), 0u);
}

const WiredQRN groundStationWiring[] = {
    {6, 1, vec3(1, -2, 3), [](ComponentQRNClient& s) { EXPECT_EQ(s.acc[1].y, -2); }},
    {8, 0, vec3(4, 5, -6), [](ComponentQRNClient& s) { EXPECT_EQ(s.gyro[0].z, -6); }},
    {10, 2, vec3(7, 8, 9), [](ComponentQRNClient& s) { EXPECT_EQ(s.compass[2].y, 8); }},
    {14, 1, le32(-3), [](ComponentQRNClient& s) { EXPECT_EQ(s.pressure[1], -3); }},
    {16, 0, vec3(11, 12, 13), [](ComponentQRNClient& s) { EXPECT_EQ(s.dcm[0].x, 11); }},
    {18, 5, {17}, [](ComponentQRNClient& s) { EXPECT_EQ(s.rcSender[5], 17); }},
    {26, 0, le16(300), [](ComponentQRNClient& s) { EXPECT_EQ(s.HWversion, 300); }},
    {28, 0, le16(5), [](ComponentQRNClient& s) { EXPECT_EQ(s.FWversion, 5); }},
    {30, 0, le16(-7), [](ComponentQRNClient& s) { EXPECT_EQ(s.temperature[0], -7); }},
    {34, 2, {99}, [](ComponentQRNClient& s) { EXPECT_EQ(s.rcReceiver[2], 99); }},
    {40, 0, le16(-1), [](ComponentQRNClient& s) { EXPECT_EQ(*s.schuelerMode, -1); }},
    {44, 0, cat({vec3(1, 2, 3), vec3(4, 5, 6)}), [](ComponentQRNClient& s) {
         EXPECT_EQ(s.dcm[0].x, 1); EXPECT_EQ(s.dcm[0].z, 3);
         EXPECT_EQ(s.gyro[0].x, 4); EXPECT_EQ(s.gyro[0].z, 6); }},
    {52, 0, le32(42), [](ComponentQRNClient& s) { EXPECT_EQ(s.secureCommand[0], 42); }},
    {54, 0, {9}, [](ComponentQRNClient& s) { EXPECT_EQ(s.isAlive(), 1); }},
    {56, 0, le16(0xFFFF), [](ComponentQRNClient& s) { EXPECT_EQ(s.activControl, 0xFFFF); }},
};

INSTANTIATE_TEST_SUITE_P(Types, GroundStationWiring, ::testing::ValuesIn(groundStationWiring),
                         [](const ::testing::TestParamInfo<WiredQRN>& i) {
                             return "Type" + std::to_string(i.param.type);
                         });

// Every data type with every payload size a handler kind takes: at most one
// handler takes it, and the types taken are exactly the wired ones.
std::set<uint8_t> typesTaken(ORQ::Component& model) {
    const uint8_t sizes[] = {0, 1, 2, 4, 6, 8, 12, 13, 18, 20, 30, 42};
    std::set<uint8_t> taken;
    for (int type = 0; type < 256; ++type) {
        for (uint8_t size : sizes) {
            const size_t n = takers(model, [&] {
                Message m = makeMessage(static_cast<uint8_t>(type), deviceID, myID, 0, Bytes(size, 1));
                model.procNewMessage(&m);
            });
            EXPECT_LE(n, 1u) << "type " << type << " size " << int(size);
            if (n > 0) taken.insert(static_cast<uint8_t>(type));
        }
    }
    return taken;
}

TEST_F(FlightBoard, Has26HandlersAndNoTwoTakeTheSameType) {
    EXPECT_EQ(chain(*model).size(), 26u);
    const std::set<uint8_t> expected = {6,  8,  10, 12, 14, 16, 20, 22, 24, 26, 28, 30, 32,
                                        34, 36, 38, 40, 42, 46, 48, 50, 52, 54, 56, 58, 60};
    EXPECT_EQ(typesTaken(*model), expected);
}

TEST_F(GroundStation, Has15HandlersAndNoTwoTakeTheSameType) {
    EXPECT_EQ(chain(*model).size(), 15u);
    const std::set<uint8_t> expected = {6, 8, 10, 14, 16, 18, 26, 28, 30, 34, 40, 44, 52, 54, 56};
    EXPECT_EQ(typesTaken(*model), expected);
}

// ---------------------------------------------------------------- debug blocks and combined reports

TEST_F(FlightBoard, DebugBlockSetsEveryViewAtOnce) {
    int16_t* ComponentVKR::*const views[21] = {
        &ComponentVKR::batteryVoltage, &ComponentVKR::batteryCurrent, &ComponentVKR::batteryUsedCapacity,
        &ComponentVKR::rcQuality, &ComponentVKR::mainLoopTime, &ComponentVKR::mainLoopTimeMin,
        &ComponentVKR::mainLoopTimeMax, &ComponentVKR::simulateRCLoss, &ComponentVKR::actGas,
        &ComponentVKR::uptime, &ComponentVKR::i2cErrors, &ComponentVKR::sendMessageCounterRemote,
        &ComponentVKR::wi_txchannel, &ComponentVKR::wi_rxchannel, &ComponentVKR::wi_group_id,
        &ComponentVKR::newID, &ComponentVKR::satsInUse, &ComponentVKR::WPNumberAndIndex,
        &ComponentVKR::WPHoldTime, &ComponentVKR::FCFlags, &ComponentVKR::NCFlags,
    };
    Bytes block;
    for (int k = 0; k < 21; ++k) {
        const Bytes v = le16(k == 3 ? -1 : -300 + 37 * k);
        block.insert(block.end(), v.begin(), v.end());
    }
    report(40, block);

    for (int k = 0; k < 21; ++k) {
        EXPECT_EQ(*(model->*views[k]), k == 3 ? -1 : -300 + 37 * k) << "view " << k;
    }
    EXPECT_EQ(*model->rcQuality, -1);
}

TEST_F(GroundStation, DebugBlockSetsEveryViewAtOnce) {
    int16_t* ORQ::ComponentQRN::*const views[10] = {
        &ORQ::ComponentQRN::schuelerMode,    &ORQ::ComponentQRN::i2cError,     &ORQ::ComponentQRN::mainLoopTime,
        &ORQ::ComponentQRN::mainLoopTimeMin, &ORQ::ComponentQRN::mainLoopTimeMax,
        &ORQ::ComponentQRN::wi_txchannel,    &ORQ::ComponentQRN::wi_rxchannel, &ORQ::ComponentQRN::wi_group_id,
        &ORQ::ComponentQRN::newID,           &ORQ::ComponentQRN::uptime,
    };
    Bytes block;
    for (int k = 0; k < 10; ++k) {
        const Bytes v = le16(1000 * k - 4000);
        block.insert(block.end(), v.begin(), v.end());
    }
    report(40, block);

    for (int k = 0; k < 10; ++k) EXPECT_EQ(*(model->*views[k]), 1000 * k - 4000) << "view " << k;
}

TEST_F(FlightBoard, CombinedAttitudeReportCountsOnlyOnChannel0) {
    report(46, cat({vec3(1, 2, 3), le16(4)}), 1);
    EXPECT_EQ(model->dcm[0].x, 0);
    EXPECT_EQ(model->dcm[1].x, 0);
    EXPECT_EQ(model->acc[0].z, 0);
    EXPECT_EQ(model->dcmAccZClient->dataCount, 0);
}

TEST_F(FlightBoard, LowByteReportKeepsTheHigherBitsOfTheWord) {
    uint32_t word = 0xABCD0001u;
    std::memcpy(&model->hwState, &word, sizeof(word));

    report(22, {0x40});

    std::memcpy(&word, &model->hwState, sizeof(word));
    EXPECT_EQ(word, 0xABCD0040u);
    EXPECT_EQ(model->hwState.safeMode, 1u);
}

TEST_F(FlightBoard, ReportsBeyondTheArraysAreDropped) {
    report(6, vec3(1, 1, 1), 2);     // acc has 2 elements
    report(42, Bytes(18, 1), 90);    // waypoint has 90
    report(34, {1}, 8);              // rcReceiver has 8
    report(22, {1}, 1);              // hwState is one word
    report(48, Bytes(12, 1), 1);     // gyro has 1 element
    for (ORQ::MessageHandler* h : chain(*model)) EXPECT_EQ(h->dataCount, 0);
    EXPECT_EQ(model->updateTime, 0u);
}

// ---------------------------------------------------------------- set messages

struct SetCase {
    std::string name;
    std::function<void(ComponentVKRClient&)> act;
    uint8_t type;
    uint8_t channel;
    Bytes payload;
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class FlightBoardSets : public FlightBoard, public ::testing::WithParamInterface<SetCase> {};

TEST_P(FlightBoardSets, QueueTheOddTypeWithTheField) {
    const SetCase& c = GetParam();
    c.act(*model);

    const std::vector<Message> sent = link.drain();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].dataType, c.type);
    EXPECT_EQ(sent[0].senderID, myID);
    EXPECT_EQ(sent[0].receiverID, deviceID);
    EXPECT_EQ(sent[0].channel, c.channel);
    EXPECT_EQ(payloadOf(sent[0]), c.payload);
}

const SetCase flightBoardSets[] = {
    {"MotorOn", [](ComponentVKRClient& b) { b.motorOn = 1; b.motorOnClient->send(0); }, 19, 0, {1}},
    {"Cmd", [](ComponentVKRClient& b) { b.cmd.accel = 1; b.cmdClient->send(0); }, 23, 0, {0x02}},
    {"GpsMode", [](ComponentVKRClient& b) { b.gpsMode = ComponentVKR::GPSModeHome; b.gpsModeClient->send(0); },
     31, 0, {2}},
    {"Waypoint", [](ComponentVKRClient& b) { b.waypointClient->set(60); }, 41, 60,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}},
    {"SecureCommand", [](ComponentVKRClient& b) { b.secureCommand[0] = 7; b.secureCommandClient->send(0); }, 51, 0,
     {7, 0, 0, 0}},
    {"ActivControl", [](ComponentVKRClient& b) { b.activControl = 0x8001; b.activControlClient->send(0, 0); }, 55, 0,
     {0x01, 0x80}},
    {"PwmOutput", [](ComponentVKRClient& b) { b.pwmOutput[2] = 1500; b.pwmOutputClient->send(0, 2); }, 59, 2,
     {0xDC, 0x05}},
    {"DebugPiece",
     [](ComponentVKRClient& b) {
         *b.simulateRCLoss = 1;
         b.debugDataClient->send(14, reinterpret_cast<int8_t*>(b.simulateRCLoss), 2);
     },
     40, 14, {1, 0}},
};

INSTANTIATE_TEST_SUITE_P(Sets, FlightBoardSets, ::testing::ValuesIn(flightBoardSets),
                         [](const ::testing::TestParamInfo<SetCase>& i) { return i.param.name; });

TEST_F(GroundStation, SendRCSenderSetsElement0) {
    model->rcSender[0] = 200;
    model->sendRCSender();

    const std::vector<Message> sent = link.drain();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].dataType, 17);
    EXPECT_EQ(sent[0].channel, 0);
    EXPECT_EQ(sent[0].receiverID, deviceID);
    EXPECT_EQ(payloadOf(sent[0]), Bytes({200}));
}

// ---------------------------------------------------------------- heartbeat and age

template <class Model>
class Heartbeat : public ModelTest<Model> {};
using Models = ::testing::Types<ComponentVKRClient, ComponentQRNClient>;
TYPED_TEST_SUITE(Heartbeat, Models);

TYPED_TEST(Heartbeat, KeepsTheModelAliveAndInTheWorldModel) {
    ORQ::WorldModel* wm = this->link.mm.getWorldModel();
    for (uint32_t t = 1000; t <= 400000; t += 10000) {
        this->link.tick(t);
        EXPECT_EQ(this->model->isAlive(), 0) << "at " << t;
        this->report(54, {0x00});
        EXPECT_EQ(this->model->isAlive(), 1) << "at " << t;
        this->link.tick(t + 499);
        EXPECT_EQ(this->model->isAlive(), 1) << "at " << t + 499;
    }
    EXPECT_EQ(wm->getComponent(deviceID), this->model);
}

TYPED_TEST(Heartbeat, SilentModelIsRemovedAfter300000ms) {
    ORQ::WorldModel* wm = this->link.mm.getWorldModel();
    this->report(54, {0x00});
    this->link.tick(301000);
    EXPECT_EQ(wm->getComponent(deviceID), this->model);
    this->link.tick(301001);
    EXPECT_EQ(wm->getComponent(deviceID), nullptr);
}

TYPED_TEST(Heartbeat, MalformedHeartbeatsDoNotRenewTheModel) {
    this->link.tick(5000);
    this->report(54, {});
    this->report(54, {1, 2});
    this->report(53, {1});
    EXPECT_EQ(this->model->isAlive(), 0);
    EXPECT_EQ(this->model->getUpdateTime(), 5000u);  // registered at 0
}

// ---------------------------------------------------------------- diagnostic lines

TEST_F(FlightBoard, PrintWritesThreeLines) {
    report(6, vec3(1, 2, 3));
    report(22, {0x43});  // unknown, motor, safeMode
    report(40, cat({le16(12000), le16(-5), le16(300)}));
    ::testing::internal::CaptureStdout();
    model->print();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[ComponentVKR] ID 9 lupdate 1000 dcm 0 0 0 acc 1 2 3 gyro 0 0 0 compass 0 0 0 dist 0 0 0 0"
              " pressure 0 hwState 1 1 0 0 gpsMode 0 3\n"
              "[ComponentVKR] ID 9 cPos 0 0 0 0 U 12000 A -5 mAh 300 dcm 0 0 0 rcQuality -1\n"
              "[ComponentVKR] ID 9 uptime 0 sim 0 sendMessageCounterRemote 0 recvMessageCounter 3 uptime 0\n");
}

TEST_F(FlightBoard, PrintSpeedGivesRatesAndResetsThem) {
    for (int i = 0; i < 5; ++i) report(6, vec3(i, 0, 0));
    report(46, Bytes(8, 0));
    ::testing::internal::CaptureStdout();
    model->printSpeed(1000);
    model->printSpeed(1000);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[ComponentVKR] printSpeed ID 9 lupdate 1000 dcmAccZ 1 dcm 0 acc 5 gyro 0 compass 0 pressure 0 dist 0\n"
              "[ComponentVKR] printSpeed ID 9 lupdate 1000 dcmAccZ 0 dcm 0 acc 0 gyro 0 compass 0 pressure 0 dist 0\n");
}

TEST_F(GroundStation, PrintWritesTwoLines) {
    report(16, vec3(-1, 0, 1));
    report(34, {10}, 3);
    ::testing::internal::CaptureStdout();
    model->print();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[ComponentQRN] ID 9 lupdate 1000 imu -1 0 1 acc 0 0 0 gyro 0 0 0 compass 0 0 0 pressure 0"
              " rcSender 0 128 128 128 rcReceiver 0 0 0 10\n"
              "[ComponentQRN] ID 9 mainLoop Time/min/max 0/9999/0\n");
}

TEST_F(GroundStation, PrintSpeedGivesRatesAndResetsThem) {
    report(44, Bytes(12, 0));
    report(44, Bytes(12, 0));
    report(18, {1});
    ::testing::internal::CaptureStdout();
    model->printSpeed(500);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[ComponentQRN] printSpeed ID 9 lupdate 1000 dcmgyro 4 dcm 0 acc 0 gyro 0 compass 0 pressure 0"
              " rcSender 2\n");
}

// ---------------------------------------------------------------- memory

// A model is two allocations, its object and one block holding all its
// handlers, and at most 8 KiB: the budget of one mirrored board.
template <class Model>
class ModelMemory : public ::testing::Test {};
TYPED_TEST_SUITE(ModelMemory, Models);

TYPED_TEST(ModelMemory, IsTwoAllocationsWithinEightKiB) {
    const std::size_t countBefore = allocations, bytesBefore = allocatedBytes;
    TypeParam* m = new TypeParam(deviceID);
    const std::size_t count = allocations - countBefore, bytes = allocatedBytes - bytesBefore;
    delete m;
    EXPECT_EQ(count, 2u);
    EXPECT_LE(bytes, 8u * 1024u);
    std::cout << "[memory] " << ::testing::UnitTest::GetInstance()->current_test_info()->type_param() << ": "
              << count << " allocations, " << bytes << " bytes" << std::endl;
}

}  // namespace
