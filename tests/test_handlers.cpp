// The handler clients on one component: how each decodes the reports of its
// own data type (signs, byte order, channel), which reports it ignores
// without trace, and the exact set and request messages it queues on the
// link. Also the value containers the handlers fill.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "node/Component.h"
#include "Container/GPSPosition.h"
#include "Container/GPSWaypoint.h"
#include "ManagerHarness.h"
#include "handlers/MessageHandler2Vector3Dint16Client.h"
#include "handlers/MessageHandler4Int16Client.h"
#include "handlers/MessageHandlerGPSPositionClient.h"
#include "handlers/MessageHandlerGPSWaypointClient.h"
#include "handlers/MessageHandlerHeartbeatClient.h"
#include "handlers/MessageHandlerInt16Client.h"
#include "handlers/MessageHandlerInt32Client.h"
#include "handlers/MessageHandlerInt8Client.h"
#include "handlers/MessageHandlerRawClient.h"
#include "handlers/MessageHandlerVector3Dint16Client.h"
#include "TestMessages.h"
#include "libZIR/Vector3Dint16.h"

namespace {

using ORQ::Message;
using ORQ::Container::GPSPosition;
using ORQ::Container::GPSWaypoint;
using ORQ::test::makeMessage;
using ORQ::test::payloadOf;
using TALVEK::ZIR::Vector3Dint16;
using Bytes = std::vector<uint8_t>;

const uint8_t myID = 1;
const uint8_t deviceID = 5;

// The model fields the clients mirror into, one array per client kind.
struct Fields {
    int8_t i8[4] = {};
    uint8_t i8Size = 4;
    int16_t i16[4] = {};
    uint8_t i16Size = 4;
    int32_t i32[2] = {};
    uint8_t i32Size = 2;
    int8_t raw[20] = {};
    int16_t q0 = 0, q1 = 0, q2 = 0, q3 = 0;
    Vector3Dint16 vec[2];
    uint8_t vecSize = 1;
    Vector3Dint16 pairA[2];
    Vector3Dint16 pairB[2];
    uint8_t pairSize = 2;
    GPSPosition pos[1];
    uint8_t posSize = 1;
    GPSWaypoint wp[3];
    uint8_t wpSize = 2;
};

// One component carrying one client of every kind, each on its own pair of
// data types (the even one reported, the odd one sent).
class Handlers : public ::testing::Test {
protected:
    Handlers()
        : link(myID),
          device(deviceID),
          i8(f.i8, &f.i8Size, 20, 19, 4),
          i16(f.i16, &f.i16Size, 12, 11, 4),
          i32(f.i32, &f.i32Size, 14, 13, 2),
          raw(f.raw, sizeof(f.raw), 40, 39),
          quad(&f.q0, &f.q1, &f.q2, &f.q3, 0, 46, 45),
          vec(f.vec, &f.vecSize, 6, 5, 2),
          pair(f.pairA, f.pairB, &f.pairSize, 48, 47, 2),
          pos(f.pos, &f.posSize, 38, 37, 1),
          wp(f.wp, &f.wpSize, 42, 41, 3),
          heartbeat(54, 53) {
        device.setMessageManager(&link.mm);
        for (ORQ::MessageHandler* h : all()) device.addMessageHandler(h);
        link.tick(1000);  // the device's update time stays 0 until a client takes a report
    }

    std::vector<ORQ::MessageHandler*> all() {
        return {&i8, &i16, &i32, &raw, &quad, &vec, &pair, &pos, &wp, &heartbeat};
    }
    std::vector<uint8_t> counts() {
        std::vector<uint8_t> c;
        for (ORQ::MessageHandler* h : all()) c.push_back(h->dataCount);
        return c;
    }
    Bytes fieldBytes() const {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&f);
        return Bytes(p, p + sizeof(f));
    }
    void deliver(uint8_t type, uint8_t channel, const Bytes& payload, uint8_t sender = deviceID) {
        Message m = makeMessage(type, sender, myID, channel, payload);
        device.procNewMessage(&m);
    }

    Fields f;
    ORQ::test::ManagerHarness link;
    ORQ::Component device;
    ORQ::MessageHandlerInt8Client i8;
    ORQ::MessageHandlerInt16Client i16;
    ORQ::MessageHandlerInt32Client i32;
    ORQ::MessageHandlerRawClient raw;
    ORQ::MessageHandler4Int16Client quad;
    ORQ::MessageHandlerVector3Dint16Client vec;
    ORQ::MessageHandler2Vector3Dint16Client pair;
    ORQ::MessageHandlerGPSPositionClient pos;
    ORQ::MessageHandlerGPSWaypointClient wp;
    ORQ::MessageHandlerHeartbeatClient heartbeat;
};

// ---------------------------------------------------------------- inbound

struct Report {
    std::string name;
    uint8_t type;
    uint8_t channel;
    Bytes payload;
    size_t taker;  // index into Handlers::all()
    std::function<void(const Fields&)> expect;
};

void PrintTo(const Report& r, std::ostream* os) { *os << r.name; }

class HandlersDecode : public Handlers, public ::testing::WithParamInterface<Report> {};

TEST_P(HandlersDecode, StoresTheReportStampsTheComponentAndCountsIt) {
    const Report& r = GetParam();
    std::vector<uint8_t> expectedCounts = counts();
    expectedCounts[r.taker]++;

    deliver(r.type, r.channel, r.payload);

    r.expect(f);
    EXPECT_EQ(counts(), expectedCounts);
    EXPECT_EQ(device.updateTime, 1000u);
}

const Report reports[] = {
    {"Int8Negative", 20, 3, {0x80}, 0, [](const Fields& f) {
         EXPECT_EQ(f.i8[3], -128);
         EXPECT_EQ(f.i8[0], 0);
     }},
    {"Int16LowByteFirstOnChannel1", 12, 1, {0x34, 0x12}, 1, [](const Fields& f) {
         EXPECT_EQ(f.i16[1], 0x1234);
         EXPECT_EQ(f.i16[0], 0);
     }},
    {"Int16AllOnesIsMinusOne", 12, 0, {0xFF, 0xFF}, 1, [](const Fields& f) { EXPECT_EQ(f.i16[0], -1); }},
    {"Int32ZeroIsStoredAsOne", 14, 1, {0, 0, 0, 0}, 2, [](const Fields& f) { EXPECT_EQ(f.i32[1], 1); }},
    {"Int32Negative", 14, 0, {0x01, 0x00, 0x00, 0x80}, 2,
     [](const Fields& f) { EXPECT_EQ(f.i32[0], -2147483647); }},
    {"Int32LowestByteFirst", 14, 0, {0x78, 0x56, 0x34, 0x12}, 2,
     [](const Fields& f) { EXPECT_EQ(f.i32[0], 0x12345678); }},
    {"RawIgnoresTheChannel", 40, 9, {1, 2, 3}, 3, [](const Fields& f) {
         EXPECT_EQ(f.raw[0], 1);
         EXPECT_EQ(f.raw[2], 3);
         EXPECT_EQ(f.raw[3], 0);
     }},
    {"FourInt16OnItsChannel", 46, 0, {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F}, 4, [](const Fields& f) {
         EXPECT_EQ(f.q0, 1);
         EXPECT_EQ(f.q1, -1);
         EXPECT_EQ(f.q2, -32768);
         EXPECT_EQ(f.q3, 32767);
     }},
    {"VectorOnChannel1", 6, 1, {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80}, 5, [](const Fields& f) {
         EXPECT_EQ(f.vec[1].x, 1);
         EXPECT_EQ(f.vec[1].y, -1);
         EXPECT_EQ(f.vec[1].z, -32768);
         EXPECT_EQ(f.vec[0].x, 0);
         EXPECT_EQ(f.vec[0].y, 0);
         EXPECT_EQ(f.vec[0].z, 0);
     }},
    {"TwoVectorsFirstThenSecond", 48, 1, {1, 0, 2, 0, 3, 0, 0xFC, 0xFF, 0xFB, 0xFF, 0xFA, 0xFF}, 6,
     [](const Fields& f) {
         EXPECT_EQ(f.pairA[1].x, 1);
         EXPECT_EQ(f.pairA[1].y, 2);
         EXPECT_EQ(f.pairA[1].z, 3);
         EXPECT_EQ(f.pairB[1].x, -4);
         EXPECT_EQ(f.pairB[1].y, -5);
         EXPECT_EQ(f.pairB[1].z, -6);
         EXPECT_EQ(f.pairA[0].x, 0);
     }},
    {"Position", 38, 0, {0x78, 0x56, 0x34, 0x12, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 3}, 7, [](const Fields& f) {
         EXPECT_EQ(f.pos[0].longitude, 0x12345678);
         EXPECT_EQ(f.pos[0].latitude, 1);
         EXPECT_EQ(f.pos[0].altitude, -1);
         EXPECT_EQ(f.pos[0].status, 3);
     }},
    {"HeartbeatChangesNoField", 54, 0, {0xAA}, 9, [](const Fields& f) {
         Fields fresh;
         EXPECT_EQ(std::memcmp(f.i8, fresh.i8, sizeof(f.i8)), 0);
         EXPECT_EQ(std::memcmp(f.raw, fresh.raw, sizeof(f.raw)), 0);
     }},
};

INSTANTIATE_TEST_SUITE_P(Reports, HandlersDecode, ::testing::ValuesIn(reports),
                         [](const ::testing::TestParamInfo<Report>& i) { return i.param.name; });

struct Ignored {
    std::string name;
    uint8_t type;
    uint8_t sender;
    uint8_t channel;
    size_t size;
};

void PrintTo(const Ignored& r, std::ostream* os) { *os << r.name; }

class HandlersIgnore : public Handlers, public ::testing::WithParamInterface<Ignored> {};

TEST_P(HandlersIgnore, LeavesFieldsCountsAndUpdateTimeAlone) {
    const Ignored& r = GetParam();
    const Bytes before = fieldBytes();
    const std::vector<uint8_t> countsBefore = counts();

    deliver(r.type, r.channel, Bytes(r.size, 0x5A), r.sender);

    EXPECT_EQ(fieldBytes(), before);
    EXPECT_EQ(counts(), countsBefore);
    EXPECT_EQ(device.updateTime, 0u);
}

const Ignored ignored[] = {
    {"Int8FromAnotherSender", 20, 6, 0, 1},
    {"Int8TwoBytes", 20, deviceID, 0, 2},
    {"Int8OfItsSendType", 19, deviceID, 0, 1},
    {"Int8ChannelBeyondArray", 20, deviceID, 4, 1},
    {"Int16OneByte", 12, deviceID, 0, 1},
    {"Int16ChannelBeyondArray", 12, deviceID, 4, 2},
    {"Int16ChannelFarBeyondArray", 12, deviceID, 255, 2},
    {"Int32ThreeBytes", 14, deviceID, 0, 3},
    {"Int32ChannelBeyondArray", 14, deviceID, 2, 4},
    {"RawFromAnotherSender", 40, 6, 0, 5},
    {"RawOfItsSendType", 39, deviceID, 0, 5},
    {"FourInt16OnAnotherChannel", 46, deviceID, 1, 8},
    {"FourInt16SixBytes", 46, deviceID, 0, 6},
    {"VectorSevenBytes", 6, deviceID, 0, 7},
    {"VectorChannelBeyondArray", 6, deviceID, 2, 6},
    {"TwoVectorsSixBytes", 48, deviceID, 0, 6},
    {"TwoVectorsChannelBeyondArrays", 48, deviceID, 2, 12},
    {"PositionTwelveBytes", 38, deviceID, 0, 12},
    {"PositionFourteenBytes", 38, deviceID, 0, 14},
    {"PositionChannelBeyondArray", 38, deviceID, 1, 13},
    {"WaypointSeventeenBytes", 42, deviceID, 0, 17},
    {"WaypointFullRecord", 42, deviceID, 0, 30},
    {"WaypointChannelBeyondArray", 42, deviceID, 3, 18},
    {"WaypointFromAnotherSender", 42, 6, 0, 18},
    {"HeartbeatEmpty", 54, deviceID, 0, 0},
    {"HeartbeatTwoBytes", 54, deviceID, 0, 2},
    {"HeartbeatFromAnotherSender", 54, 6, 0, 1},
    {"UnwiredType", 3, deviceID, 0, 1},
};

INSTANTIATE_TEST_SUITE_P(Reports, HandlersIgnore, ::testing::ValuesIn(ignored),
                         [](const ::testing::TestParamInfo<Ignored>& i) { return i.param.name; });

TEST_F(Handlers, RawReportLongerThanTheBlockIsCutInTheMessageItself) {
    Bytes payload(25);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i + 1);
    Message m = makeMessage(40, deviceID, myID, 0, payload);

    device.procNewMessage(&m);

    EXPECT_EQ(m.dataSize, 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(f.raw[i], i + 1) << "byte " << i;
    EXPECT_EQ(raw.dataCount, 1);
}

TEST_F(Handlers, ShortRawReportKeepsTheRestOfTheBlock) {
    deliver(40, 0, Bytes(20, 0x11));
    deliver(40, 0, {1, 2, 3, 4, 5});

    for (int i = 0; i < 5; ++i) EXPECT_EQ(f.raw[i], i + 1);
    for (int i = 5; i < 20; ++i) EXPECT_EQ(f.raw[i], 0x11) << "byte " << i;
    EXPECT_EQ(raw.dataCount, 2);
}

TEST_F(Handlers, WaypointReportFillsTheTravellingFieldsAndTheIndex) {
    f.wp[1].point.Event_Flag = 7;
    f.wp[1].point.Speed = 9;
    std::memcpy(f.wp[1].point.Name, "WP01", 4);

    deliver(42, 1, {0x80, 0x96, 0x98, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x64, 0, 0, 0, 0x01, 0x68, 0x01, 0x0A, 0x05, 0x00});

    const GPSWaypoint::GPSPoint_t& p = f.wp[1].point;
    EXPECT_EQ(p.Position.longitude, 10000000);
    EXPECT_EQ(p.Position.latitude, -1);
    EXPECT_EQ(p.Position.altitude, 100);
    EXPECT_EQ(p.Position.status, 1);
    EXPECT_EQ(static_cast<int>(p.Heading), 360);  // a copy: the packed field is misaligned
    EXPECT_EQ(p.ToleranceRadius, 10);
    EXPECT_EQ(p.HoldTime, 5);
    EXPECT_EQ(p.Type, 0);
    EXPECT_EQ(p.Index, 2);
    EXPECT_EQ(p.Event_Flag, 7);
    EXPECT_EQ(p.Speed, 9);
    EXPECT_EQ(std::memcmp(p.Name, "WP01", 4), 0);
    EXPECT_EQ(f.wp[0].point.Type, 0xFF);  // the other slots are untouched
    EXPECT_EQ(f.wp[2].point.Type, 0xFF);
    EXPECT_EQ(wp.dataCount, 1);
}

TEST_F(Handlers, ReportedWaypointWrittenBackGivesTheSamePayload) {
    const Bytes report = {0x01, 0x02, 0x03, 0x84, 0xFE, 0xFF, 0xFF, 0xFF, 0x10, 0x27, 0, 0,
                          0x02, 0x2C, 0xFF, 0x14, 0x1E, 0x03};
    deliver(42, 1, report);

    wp.set(1);

    const std::vector<Message> sent = link.drain();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].dataType, 41);
    EXPECT_EQ(sent[0].channel, 1);
    EXPECT_EQ(payloadOf(sent[0]), report);
}

// ---------------------------------------------------------------- outbound

struct Expected {
    uint8_t type;
    uint8_t channel;
    Bytes payload;
};

struct SendCase {
    std::string name;
    std::function<void(Handlers*, Fields&)> act;
    bool sends;
    Expected expected;
};

void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class HandlersSend : public Handlers, public ::testing::WithParamInterface<SendCase> {
public:
    // Lets the table reach the protected clients.
    ORQ::MessageHandlerInt8Client& int8() { return i8; }
    ORQ::MessageHandlerInt16Client& int16() { return i16; }
    ORQ::MessageHandlerInt32Client& int32() { return i32; }
    ORQ::MessageHandlerRawClient& rawBlock() { return raw; }
    ORQ::MessageHandler4Int16Client& four() { return quad; }
    ORQ::MessageHandlerVector3Dint16Client& vector() { return vec; }
    ORQ::MessageHandler2Vector3Dint16Client& vectors() { return pair; }
    ORQ::MessageHandlerGPSPositionClient& position() { return pos; }
    ORQ::MessageHandlerGPSWaypointClient& waypoint() { return wp; }
};

HandlersSend* as(Handlers* h) { return static_cast<HandlersSend*>(h); }

TEST_P(HandlersSend, QueuesExactlyTheExpectedMessage) {
    const SendCase& c = GetParam();
    c.act(this, f);

    const std::vector<Message> sent = link.drain();
    if (!c.sends) {
        EXPECT_TRUE(sent.empty());
        EXPECT_EQ(device.sendMessageCounter, 0);
        return;
    }
    ASSERT_EQ(sent.size(), 1u);
    const Message& m = sent[0];
    EXPECT_EQ(m.dataType, c.expected.type);
    EXPECT_EQ(m.senderID, myID);
    EXPECT_EQ(m.receiverID, deviceID);
    EXPECT_EQ(m.channel, c.expected.channel);
    EXPECT_EQ(payloadOf(m), c.expected.payload);
    EXPECT_EQ(m.dataSize, c.expected.payload.size());
    EXPECT_EQ(m.priority, 0);
    EXPECT_EQ(m.ttl, 0);
    EXPECT_EQ(m.properties.unique, 1u);
    EXPECT_EQ(device.sendMessageCounter, 1);
}

const SendCase sends[] = {
    {"Int8LastElementInUse", [](Handlers* h, Fields& f) { f.i8Size = 3; f.i8[2] = -2; as(h)->int8().send(2); },
     true, {19, 2, {0xFE}}},
    {"Int8IndexAtTheCount", [](Handlers* h, Fields& f) { f.i8Size = 3; as(h)->int8().send(3); }, false, {}},
    {"Int8RequestBeyondTheCount", [](Handlers* h, Fields& f) { f.i8Size = 2; as(h)->int8().RequestUpdate(3); },
     true, {19, 3, {}}},
    {"Int16LowByteFirst", [](Handlers* h, Fields& f) { f.i16[3] = 0x1234; as(h)->int16().send(0, 3); }, true,
     {11, 3, {0x34, 0x12}}},
    {"Int16IndexBeyondTheArray", [](Handlers* h, Fields&) { as(h)->int16().send(0, 4); }, false, {}},
    {"Int32LowestByteFirst", [](Handlers* h, Fields& f) { f.i32[1] = -2; as(h)->int32().send(1); }, true,
     {13, 1, {0xFE, 0xFF, 0xFF, 0xFF}}},
    {"Int32IndexAtTheCount", [](Handlers* h, Fields& f) { f.i32Size = 1; as(h)->int32().send(1); }, false, {}},
    {"Int32CountBeyondTheArray", [](Handlers* h, Fields& f) { f.i32Size = 9; as(h)->int32().send(2); }, false,
     {}},
    {"RawPieceWithItsSetTypeAndOffset",
     [](Handlers* h, Fields&) {
         int8_t value[2] = {0x0F, -1};
         as(h)->rawBlock().send(14, value, 2);
     },
     true, {40, 14, {0x0F, 0xFF}}},
    {"RawRequestSendsNothing", [](Handlers* h, Fields&) { as(h)->rawBlock().RequestUpdate(0); }, false, {}},
    {"FourInt16SendsNothing", [](Handlers* h, Fields&) { as(h)->four().send(0, 0); }, false, {}},
    {"VectorElementInUse",
     [](Handlers* h, Fields& f) {
         f.vec[0] = Vector3Dint16(1, -1, -32768);
         as(h)->vector().send(0, 0);
     },
     true, {5, 0, {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80}}},
    {"VectorIndexAtTheCount", [](Handlers* h, Fields&) { as(h)->vector().send(0, 1); }, false, {}},
    {"TwoVectorsSendNothing", [](Handlers* h, Fields&) { as(h)->vectors().send(0, 0); }, false, {}},
    {"PositionSendsNothing", [](Handlers* h, Fields&) { as(h)->position().send(0, 0); }, false, {}},
    {"WaypointWrite",
     [](Handlers* h, Fields& f) {
         GPSWaypoint::GPSPoint_t& p = f.wp[1].point;
         p.Position.longitude = 10000000;
         p.Position.latitude = -1;
         p.Position.altitude = 100;
         p.Position.status = 1;
         p.Heading = 360;
         p.ToleranceRadius = 10;
         p.HoldTime = 5;
         p.Type = 0;
         p.Speed = 77;  // does not travel
         as(h)->waypoint().set(1);
     },
     true, {41, 1, {0x80, 0x96, 0x98, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x64, 0, 0, 0, 0x01, 0x68, 0x01, 0x0A, 0x05, 0x00}}},
    {"WaypointWriteAtTheCount", [](Handlers* h, Fields&) { as(h)->waypoint().set(2); }, false, {}},
    {"WaypointWriteBeyondTheArray", [](Handlers* h, Fields& f) { f.wpSize = 90; as(h)->waypoint().set(3); },
     false, {}},
    {"WaypointRequestWhateverTheCount", [](Handlers* h, Fields&) { as(h)->waypoint().get(5); }, true,
     {41, 5, {}}},
};

INSTANTIATE_TEST_SUITE_P(Sends, HandlersSend, ::testing::ValuesIn(sends),
                         [](const ::testing::TestParamInfo<SendCase>& i) { return i.param.name; });

TEST_F(Handlers, TwoQuickSetsOfOneElementLeaveOneMessageWithTheLaterValue) {
    f.i16[2] = 100;
    i16.send(0, 2);
    f.i16[2] = 200;
    i16.send(0, 2);

    const std::vector<Message> sent = link.drain();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].channel, 2);
    EXPECT_EQ(payloadOf(sent[0]), Bytes({200, 0}));
}

TEST_F(Handlers, SetsOfDifferentElementsAreQueuedSeparately) {
    i16.send(0, 0);
    i16.send(0, 1);

    const std::vector<Message> sent = link.drain();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].channel, 0);
    EXPECT_EQ(sent[1].channel, 1);
}

// ---------------------------------------------------------------- containers

struct LengthCase {
    int16_t x, y, z;
    int16_t length;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.x << ' ' << c.y << ' ' << c.z; }

class VectorLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(VectorLength, IsTheTruncatedEuclideanLength) {
    const LengthCase& c = GetParam();
    EXPECT_EQ(Vector3Dint16(c.x, c.y, c.z).getLength(), c.length);
}

INSTANTIATE_TEST_SUITE_P(Vectors, VectorLength,
                         ::testing::Values(LengthCase{3, 4, 0, 5}, LengthCase{-3, -4, 0, 5}, LengthCase{1, 1, 1, 1},
                                           LengthCase{0, 0, 0, 0}, LengthCase{-32768, 0, 0, 32767},
                                           LengthCase{-32768, -32768, -32768, 32767},
                                           LengthCase{20000, 20000, 0, 28284}));

TEST(Containers, StartZeroedWithEmptyWaypointType) {
    const Vector3Dint16 v;
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.z, 0);

    const GPSPosition p;
    EXPECT_EQ(p.longitude, 0);
    EXPECT_EQ(p.latitude, 0);
    EXPECT_EQ(p.altitude, 0);
    EXPECT_EQ(p.status, 0);

    const GPSWaypoint w;
    EXPECT_EQ(w.point.Type, 255);
    EXPECT_EQ(w.point.Position.longitude, 0);
    EXPECT_EQ(w.point.Position.latitude, 0);
    EXPECT_EQ(w.point.Position.altitude, 0);
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.updateTime, 0u);
    // Every other record byte starts at zero, so a first write sends no noise.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&w.point);
    for (size_t i = 0; i < sizeof(w.point); ++i) {
        if (i != offsetof(GPSWaypoint::GPSPoint_t, Type)) {
            EXPECT_EQ(bytes[i], 0) << "record byte " << i;
        }
    }
}

struct EqualCase {
    std::string name;
    std::function<void(GPSWaypoint::GPSPoint_t&)> change;
    int equal;
};

void PrintTo(const EqualCase& c, std::ostream* os) { *os << c.name; }

class WaypointEqual : public ::testing::TestWithParam<EqualCase> {};

TEST_P(WaypointEqual, ComparesEveryFieldButNameAndReserve) {
    const EqualCase& c = GetParam();
    GPSWaypoint a;
    a.point.Position.longitude = 11;
    a.point.Heading = -90;
    GPSWaypoint b = a;
    c.change(b.point);

    EXPECT_EQ(a.equal(&b.point), c.equal);
    EXPECT_EQ(a.equal(&b), c.equal);
}

INSTANTIATE_TEST_SUITE_P(
    Waypoints, WaypointEqual,
    ::testing::Values(
        EqualCase{"Same", [](GPSWaypoint::GPSPoint_t&) {}, 1},
        EqualCase{"Name", [](GPSWaypoint::GPSPoint_t& p) { p.Name[2] = 'x'; }, 1},
        EqualCase{"Reserve", [](GPSWaypoint::GPSPoint_t& p) { p.reserve[1] = 9; }, 1},
        EqualCase{"Longitude", [](GPSWaypoint::GPSPoint_t& p) { p.Position.longitude = 12; }, 0},
        EqualCase{"PositionStatus", [](GPSWaypoint::GPSPoint_t& p) { p.Position.status = 1; }, 0},
        EqualCase{"Heading", [](GPSWaypoint::GPSPoint_t& p) { p.Heading = 90; }, 0},
        EqualCase{"EventFlag", [](GPSWaypoint::GPSPoint_t& p) { p.Event_Flag = 1; }, 0},
        EqualCase{"Index", [](GPSWaypoint::GPSPoint_t& p) { p.Index = 1; }, 0},
        EqualCase{"Type", [](GPSWaypoint::GPSPoint_t& p) { p.Type = 1; }, 0},
        EqualCase{"Speed", [](GPSWaypoint::GPSPoint_t& p) { p.Speed = 1; }, 0},
        EqualCase{"CamAngle", [](GPSWaypoint::GPSPoint_t& p) { p.CamAngle = 1; }, 0}),
    [](const ::testing::TestParamInfo<EqualCase>& i) { return i.param.name; });

TEST(Containers, WaypointOwnStatusAndUpdateTimeAreNotCompared) {
    GPSWaypoint a;
    GPSWaypoint b;
    b.status = 3;
    b.updateTime = 77;
    EXPECT_EQ(a.equal(&b), 1);
}

}  // namespace
