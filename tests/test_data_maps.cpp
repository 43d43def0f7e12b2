// The flight-board, ground-station and link-statistics data maps, called
// directly on typed models that were fed with device reports. Every read ID
// is checked at a valid index and at the first invalid one; every set ID with
// an accepted and (where there is one) a refused value, and with the exact
// message it queues on the link.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "datamaps/ComponentDLLInterface.h"
#include "models/ComponentQRNClient.h"
#include "datamaps/ComponentQRNInterface.h"
#include "models/ComponentVKRClient.h"
#include "datamaps/ComponentVKRInterface.h"
#include "host/Dll.h"
#include "wire/Message.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "FakeUart.h"
#include "TestMessages.h"
#include "WireFrames.h"

namespace {

using ORQ::test::Bytes;
using ORQ::test::cat;
using ORQ::test::le16;
using ORQ::test::le32;
using ORQ::test::vec3;


// What a set put on the link, as the send thread would take it.
struct Sent {
    uint8_t dataType;
    uint8_t channel;
    Bytes payload;
};

bool operator==(const Sent& a, const Sent& b) {
    return a.dataType == b.dataType && a.channel == b.channel && a.payload == b.payload;
}

std::ostream& operator<<(std::ostream& os, const Sent& s) {
    os << "type " << int(s.dataType) << " channel " << int(s.channel) << " payload";
    for (uint8_t b : s.payload) os << ' ' << int(b);
    return os;
}

const int sentinel = 0x5A5A5A5A;  // slot content the host passed in

// A manager with one registered driver-mode message system and own ID 1, and
// one typed model (ID 5) in its world model.
template <class Model>
class ModelFixture : public ::testing::Test {
protected:
    static constexpr uint8_t ownID = 1;
    static constexpr uint8_t modelID = 5;

    ModelFixture() : model(new Model(modelID)) {
        mm.addMessageSystem(&ms);
        mm.setMyID(ownID);
        mm.getWorldModel()->addComponent(model);
    }

    // A report from the device, handed to the model as the receive thread would.
    void report(uint8_t dataType, uint8_t channel, const Bytes& payload) {
        ORQ::Message m = ORQ::test::makeMessage(dataType, modelID, ownID, channel, payload);
        model->procNewMessage(&m);
    }

    // Everything queued since the last call, oldest first. Each message must
    // come from the library's ID and go to the model.
    std::vector<Sent> drain() {
        std::vector<Sent> sent;
        ORQ::MessageQueue* q = ms.getMessageQueue();
        while (ORQ::Message* m = q->getFirstMessage()) {
            EXPECT_EQ(ownID, m->senderID);
            EXPECT_EQ(modelID, m->receiverID);
            sent.push_back({m->dataType, m->channel, Bytes(m->data, m->data + m->dataSize)});
            q->deleteFirst();
        }
        return sent;
    }

    ORQ::MessageSystem ms;  // outlives the manager that sends through it
    ORQ::MessageManager mm;
    Model* model;  // owned by the world model
};

// One map part on one slot; records what the part did to the slot pointer,
// the slot count and the slot.
struct Slot {
    int value = sentinel;
    int* cursor = &value;
    int left = 1;

    bool untouched() const { return value == sentinel && cursor == &value && left == 1; }
    bool used() const { return cursor == &value + 1 && left == 0; }
};

template <class Map, class Model>
int readPart(Model* k, int dataID, int index, Slot& s) {
    Map map;
    return map.getDataKomplexPart(k, dataID, index, &s.cursor, &s.left);
}

template <class Map, class Model>
int setPart(Model* k, int dataID, int index, int v, Slot& s) {
    Map map;
    s.value = v;
    return map.setDataKomplexPart(k, dataID, index, &s.cursor, &s.left);
}

// ---------------------------------------------------------------- flight board

class FlightBoard : public ModelFixture<ORQ::ComponentVKRClient> {
protected:
    int read(int dataID, int index, Slot& s) { return readPart<ComponentVKRInterface>(model, dataID, index, s); }
    int set(int dataID, int index, int v, Slot& s) {
        return setPart<ComponentVKRInterface>(model, dataID, index, v, s);
    }

    // Distinct values in every field the map reads, through the handlers.
    void feedReports() {
        report(26, 0, le16(0xFFFE));                  // HWversion, zero-extended
        report(28, 0, le16(0x8001));                  // FWversion
        report(6, 0, vec3(-3, 300, -32768));          // acc[0]
        report(8, 0, vec3(-1, 2, -3));                // gyro[0]
        report(10, 1, vec3(7, -8, 9));                // compass[1]
        report(12, 3, le16(0xFFFF));                  // dist[3], zero-extended
        report(14, 1, le32(-100000));                 // pressure[1]
        report(30, 0, le16(-7));                      // temperature[0]
        report(16, 1, vec3(11, -12, 13));             // dcm[1]
        report(38, 0, cat({le32(-123456789), le32(987654321), le32(-5), {0xF0}}));  // currentPosition[0]
        report(42, 89, cat({le32(-1000), le32(2000), le32(-3000), {1}, le16(360), {200, 250, 0}}));  // waypoint[89]
        Bytes debug;
        for (int e = 0; e < 21; ++e) debug = cat({debug, le16(e * 100 - 1000)});
        report(40, 0, debug);                         // debugData, all 21 elements
        report(36, 0, {2});                           // gpsModeIs
        report(22, 0, {0x7F});                        // hwState
        report(24, 0, {0x20});                        // cmd: safeMode only
    }
};

const int flightBoardReportsFed = 15;  // messages feedReports() hands to the model

struct ReadCase {
    int dataID;
    int index;     // a valid index
    int expected;  // slot content read there
    int badIndex;  // the first index past the field's count
};

std::string readName(const ::testing::TestParamInfo<ReadCase>& info) {
    return "Id" + std::to_string(info.param.dataID);
}

class FlightBoardRead : public FlightBoard, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(FlightBoardRead, GivesTheFieldAtAValidIndexAndRefusesTheFirstInvalidOne) {
    const ReadCase& c = GetParam();
    feedReports();

    Slot ok;
    ASSERT_EQ(ERROR_NO, read(c.dataID, c.index, ok));
    EXPECT_EQ(c.expected, ok.value);
    EXPECT_TRUE(ok.used());

    Slot bad;
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, read(c.dataID, c.badIndex, bad));
    EXPECT_TRUE(bad.untouched());
    Slot negative;
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, read(c.dataID, -1, negative));
    EXPECT_TRUE(negative.untouched());
}

INSTANTIATE_TEST_SUITE_P(
    EveryReadId, FlightBoardRead,
    ::testing::Values(ReadCase{1, 0, 0xFFFE, 1}, ReadCase{2, 0, 0x8001, 1}, ReadCase{3, 0, -3, 1},
                      ReadCase{4, 0, 300, 1}, ReadCase{5, 0, -32768, 1},  // acc has 2 elements, accSize 1
                      ReadCase{6, 0, -1, 1}, ReadCase{7, 0, 2, 1}, ReadCase{8, 0, -3, 1}, ReadCase{9, 1, 7, 2},
                      ReadCase{10, 1, -8, 2}, ReadCase{11, 1, 9, 2}, ReadCase{12, 3, 0xFFFF, 4},
                      ReadCase{13, 1, -100000, 2}, ReadCase{14, 0, -7, 1}, ReadCase{15, 1, 11, 2},
                      ReadCase{16, 1, -12, 2}, ReadCase{17, 1, 13, 2}, ReadCase{18, 0, -123456789, 1},
                      ReadCase{19, 0, 987654321, 1}, ReadCase{20, 0, -5, 1}, ReadCase{22, 0, 0xF0, 1},
                      ReadCase{23, 89, -1000, 90}, ReadCase{24, 89, 2000, 90}, ReadCase{25, 89, -3000, 90},
                      ReadCase{27, 89, 200, 90}, ReadCase{28, 89, 250, 90}, ReadCase{30, 0, 1, 1},
                      ReadCase{32, 0, 2, 1}, ReadCase{35, 0, 31, 1}, ReadCase{39, 20, 1000, 21},
                      ReadCase{41, 0, -300, 1}, ReadCase{42, 0, 1, 1}, ReadCase{44, 0, -100, 1},
                      ReadCase{46, 0, flightBoardReportsFed, 1}, ReadCase{48, 0, 1, 1}, ReadCase{51, 0, 0, 1}),
    readName);

TEST_F(FlightBoard, ReadIdsWithoutAnEntryAreRefusedBeforeTheIndexIsLookedAt) {
    for (int id : {0, 21, 26, 29, 31, 33, 34, 36, 37, 38, 40, 43, 45, 47, 49, 50, 52, -1, 1000}) {
        Slot s;
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, read(id, 0, s)) << "data ID " << id;
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, read(id, 7, s)) << "data ID " << id;
        EXPECT_TRUE(s.untouched()) << "data ID " << id;
    }
}

TEST_F(FlightBoard, NoSlotLeftIsReportedBeforeAnythingElse) {
    for (int left : {0, -3}) {
        Slot s;
        s.left = left;
        EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, read(31, 0, s));  // no read entry
        EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, read(1, 0, s));
        EXPECT_EQ(sentinel, s.value);
        EXPECT_EQ(&s.value, s.cursor);
        EXPECT_EQ(left, s.left);
    }
}

TEST_F(FlightBoard, AgeReadsFollowTheManagerClock) {
    mm.run(700);
    Slot age, alive;
    ASSERT_EQ(ERROR_NO, read(51, 0, age));
    ASSERT_EQ(ERROR_NO, read(48, 0, alive));
    EXPECT_EQ(700, age.value);
    EXPECT_EQ(0, alive.value);

    report(54, 0, {0});  // a heartbeat renews the age
    Slot fresh;
    ASSERT_EQ(ERROR_NO, read(48, 0, fresh));
    EXPECT_EQ(1, fresh.value);
}

struct StateBitsCase {
    uint8_t hwStateLowByte;
    int expected;
};

class FlightBoardStateBits : public FlightBoard, public ::testing::WithParamInterface<StateBitsCase> {};

TEST_P(FlightBoardStateBits, CarryMotorToAutoRotateWithoutUnknownAndSafeMode) {
    report(22, 0, {GetParam().hwStateLowByte});
    Slot s;
    ASSERT_EQ(ERROR_NO, read(35, 0, s));
    EXPECT_EQ(GetParam().expected, s.value);
}

INSTANTIATE_TEST_SUITE_P(Read35, FlightBoardStateBits,
                         ::testing::Values(StateBitsCase{0x7F, 31}, StateBitsCase{0x02, 1}, StateBitsCase{0x40, 0},
                                           StateBitsCase{0x01, 0}, StateBitsCase{0x24, 18}));

TEST_F(FlightBoard, GpsModeReadHandsOverOnlyTheFourKnownModes) {
    Slot fresh;  // a new model reports no mode yet: GPSModeUnknown
    ASSERT_EQ(ERROR_NO, read(32, 0, fresh));
    EXPECT_EQ(3, fresh.value);

    report(36, 0, {7});
    Slot unknown;
    EXPECT_EQ(ERROR_NO, read(32, 0, unknown));
    EXPECT_EQ(sentinel, unknown.value);  // left as the host passed it
    EXPECT_TRUE(unknown.used());         // and still counted as filled
}

// A set case: the value written, the field it lands in, and the one message
// it queues (none for a case without `sent`).
struct SetCase {
    const char* name;
    int dataID;
    int index;
    int value;
    int badIndex;
    std::vector<int> refused;  // values the ID does not accept
    std::function<int(const ORQ::ComponentVKRClient&)> field;
    int expectedField;
    std::vector<Sent> sent;
};

std::string setName(const ::testing::TestParamInfo<SetCase>& info) { return info.param.name; }

class FlightBoardSet : public FlightBoard, public ::testing::WithParamInterface<SetCase> {
protected:
    // Waypoint 89 gets known contents, so its whole 18-byte write is predictable.
    void SetUp() override { report(42, 89, waypoint89); }
    const Bytes waypoint89 = cat({le32(1), le32(2), le32(3), {4}, le16(5), {6, 7, 8}});
};

TEST_P(FlightBoardSet, StoresTheValueAndQueuesExactlyItsMessage) {
    const SetCase& c = GetParam();
    const int before = c.field(*model);

    for (int v : c.refused) {
        Slot s;
        EXPECT_EQ(ERROR_INVALID_VALUE, set(c.dataID, c.index, v, s)) << "value " << v;
        EXPECT_EQ(&s.value, s.cursor);
        EXPECT_EQ(1, s.left);
    }
    Slot badIndex;
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, set(c.dataID, c.badIndex, c.value, badIndex));
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, set(c.dataID, -1, c.value, badIndex));
    EXPECT_EQ(before, c.field(*model));
    EXPECT_TRUE(drain().empty()) << "a refused set queued a message";

    Slot s;
    ASSERT_EQ(ERROR_NO, set(c.dataID, c.index, c.value, s));
    EXPECT_TRUE(s.used());
    EXPECT_EQ(c.expectedField, c.field(*model));
    EXPECT_EQ(c.sent, drain());
}

using VKR = ORQ::ComponentVKRClient;
int cmdByte(const VKR& k) {
    return k.cmd.gyro | k.cmd.accel << 1 | k.cmd.rotationFree << 2 | k.cmd.autoRotate << 3 | k.cmd.debug << 4 |
           k.cmd.safeMode << 5;
}
Bytes waypointWith(const Bytes& first12, uint8_t tolerance, uint8_t hold) {
    return cat({first12, {4}, le16(5), {tolerance, hold, 8}});
}

INSTANTIATE_TEST_SUITE_P(
    EverySetId, FlightBoardSet,
    ::testing::Values(
        SetCase{"Longitude23", 23, 89, -2, 90, {}, [](const VKR& k) { return int(k.waypoint[89].point.Position.longitude); }, -2,
                {{41, 89, waypointWith(cat({le32(-2), le32(2), le32(3)}), 6, 7)}}},
        SetCase{"Latitude24", 24, 89, 0x7FFFFFFF, 90, {}, [](const VKR& k) { return int(k.waypoint[89].point.Position.latitude); }, 0x7FFFFFFF,
                {{41, 89, waypointWith(cat({le32(1), le32(0x7FFFFFFF), le32(3)}), 6, 7)}}},
        SetCase{"Altitude25", 25, 89, -9, 90, {}, [](const VKR& k) { return int(k.waypoint[89].point.Position.altitude); }, -9,
                {{41, 89, waypointWith(cat({le32(1), le32(2), le32(-9)}), 6, 7)}}},
        SetCase{"ToleranceLow8Bits27", 27, 89, 0x1FF, 90, {}, [](const VKR& k) { return int(k.waypoint[89].point.ToleranceRadius); }, 0xFF,
                {{41, 89, waypointWith(cat({le32(1), le32(2), le32(3)}), 0xFF, 7)}}},
        SetCase{"HoldTimeLow8Bits28", 28, 89, 0x105, 90, {}, [](const VKR& k) { return int(k.waypoint[89].point.HoldTime); }, 5,
                {{41, 89, waypointWith(cat({le32(1), le32(2), le32(3)}), 6, 5)}}},
        SetCase{"MotorOn31", 31, 0, 0x1AB, 1, {}, [](const VKR& k) { return int(k.motorOn); }, 0xAB, {{19, 0, {0xAB}}}},
        SetCase{"GpsMode32", 32, 0, 2, 1, {3, -1, 256}, [](const VKR& k) { return int(k.gpsMode); }, 2, {{31, 0, {2}}}},
        SetCase{"GyroFlag33", 33, 0, 1, 1, {0, 2}, cmdByte, 0x01, {{23, 0, {0x01}}}},
        SetCase{"AccelFlag34", 34, 0, 1, 1, {0, -1}, cmdByte, 0x02, {{23, 0, {0x02}}}},
        SetCase{"RotationFree36", 36, 0, 7, 1, {}, cmdByte, 0x04, {{23, 0, {0x04}}}},
        SetCase{"AutoRotate38", 38, 0, -1, 1, {}, cmdByte, 0x08, {{23, 0, {0x08}}}},
        SetCase{"DebugElement39", 39, 20, 0x12345, 21, {}, [](const VKR& k) { return int(k.debugData[20]); }, 0x2345,
                {{40, 40, {0x45, 0x23}}}},
        SetCase{"SimulateRCLoss41", 41, 0, 0x12345, 1, {}, [](const VKR& k) { return int(k.debugData[7]); }, 0x2345,
                {{40, 14, {0x45, 0x23}}}},
        SetCase{"AccelFlag42", 42, 0, 5, 1, {}, cmdByte, 0x02, {{23, 0, {0x02}}}},
        SetCase{"ActGas43", 43, 0, -2, 1, {}, [](const VKR& k) { return int(k.debugData[8]); }, -2,
                {{40, 16, {0xFE, 0xFF}}}},
        SetCase{"SecureArm49", 49, 0, 1, 1, {2, -1}, [](const VKR& k) { return int(k.secureCommand[0]); }, 0x5D3A6B24,
                {{51, 0, le32(0x5D3A6B24)}}},
        SetCase{"SecureNothing49", 49, 0, 0, 1, {2}, [](const VKR& k) { return int(k.secureCommand[0]); }, 0, {}},
        SetCase{"SecureOne50", 50, 0, 1, 1, {2, -1}, [](const VKR& k) { return int(k.secureCommand[0]); }, 3,
                {{51, 0, le32(3)}}},
        SetCase{"SecureZero50", 50, 0, 0, 1, {}, [](const VKR& k) { return int(k.secureCommand[0]); }, 4,
                {{51, 0, le32(4)}}},
        SetCase{"ActivControl52", 52, 0, 0x1ABCD, 1, {}, [](const VKR& k) { return int(k.activControl); }, 0xABCD,
                {{55, 0, {0xCD, 0xAB}}}},
        SetCase{"SecureOne53", 53, 0, 1, 1, {2}, [](const VKR& k) { return int(k.secureCommand[0]); }, 1,
                {{51, 0, le32(1)}}},
        SetCase{"SecureZero53", 53, 0, 0, 1, {}, [](const VKR& k) { return int(k.secureCommand[0]); }, 2,
                {{51, 0, le32(2)}}},
        SetCase{"PwmOutput54", 54, 3, 0x10002, 4, {}, [](const VKR& k) { return int(k.pwmOutput[3]); }, 2,
                {{59, 3, {0x02, 0x00}}}}),
    setName);

TEST_F(FlightBoard, SetIdsWithoutAnEntryAreRefusedAndSendNothing) {
    for (int id : {0, 1, 22, 26, 29, 30, 35, 37, 40, 44, 45, 46, 47, 48, 51, 55, -1, 1000}) {
        Slot s;
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, set(id, 0, 1, s)) << "data ID " << id;
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, set(id, 9, 1, s)) << "data ID " << id;
        EXPECT_EQ(&s.value, s.cursor);
        EXPECT_EQ(1, s.left);
    }
    EXPECT_TRUE(drain().empty());
}

TEST_F(FlightBoard, SetChecksRunSlotThenEntryThenIndexThenValue) {
    Slot noSlot;
    noSlot.left = 0;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, set(1, 5, 3, noSlot));
    Slot s;
    EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, set(1, 5, 3, s));
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, set(32, 1, 3, s));
    EXPECT_EQ(ERROR_INVALID_VALUE, set(32, 0, 3, s));
    EXPECT_TRUE(drain().empty());
}

TEST_F(FlightBoard, Set42ChangesAccelWhileRead42ReportsSafeMode) {
    Slot raise;
    ASSERT_EQ(ERROR_NO, set(42, 0, 5, raise));
    Slot safeMode;
    ASSERT_EQ(ERROR_NO, read(42, 0, safeMode));
    EXPECT_EQ(0, safeMode.value);

    Slot lower;
    ASSERT_EQ(ERROR_NO, set(42, 0, 0, lower));
    EXPECT_EQ(0, model->cmd.accel);
    // Both sets refresh one queued cmd message, which now carries the lowered flag.
    EXPECT_EQ(std::vector<Sent>({{23, 0, {0x00}}}), drain());
}

TEST_F(FlightBoard, CmdSetsSendEveryFlagWithItsCurrentValue) {
    report(24, 0, {0x30});  // the flight board reports debug and safeMode
    Slot s1, s2;
    ASSERT_EQ(ERROR_NO, set(33, 0, 1, s1));
    EXPECT_EQ(std::vector<Sent>({{23, 0, {0x31}}}), drain());
    ASSERT_EQ(ERROR_NO, set(36, 0, 1, s2));
    EXPECT_EQ(std::vector<Sent>({{23, 0, {0x35}}}), drain());
}

TEST_F(FlightBoard, WaypointsBeyondTheFirstTwoAreReadAndWrittenInsideTheArray) {
    for (int slot : {2, 45, 89}) {
        Slot s;
        ASSERT_EQ(ERROR_NO, set(23, slot, 1000 + slot, s));
        Slot r;
        ASSERT_EQ(ERROR_NO, read(23, slot, r));
        EXPECT_EQ(1000 + slot, r.value);
    }
    EXPECT_EQ(3u, drain().size());
}

// ---------------------------------------------------------------- ground station

class GroundStation : public ModelFixture<ORQ::ComponentQRNClient> {
protected:
    int read(int dataID, int index, Slot& s) { return readPart<ComponentQRNInterface>(model, dataID, index, s); }
    int set(int dataID, int index, int v, Slot& s) {
        return setPart<ComponentQRNInterface>(model, dataID, index, v, s);
    }

    void feedReports() {
        report(26, 0, le16(0xFFFE));          // HWversion
        report(28, 0, le16(0x8001));          // FWversion
        report(6, 0, vec3(-3, 300, -32768));  // acc[0]
        report(8, 0, vec3(-1, 2, -3));        // gyro[0]
        report(10, 1, vec3(7, -8, 9));        // compass[1]
        report(14, 0, le32(-100000));         // pressure[0]
        report(30, 0, le16(-7));              // temperature[0]
        report(16, 0, vec3(11, -12, 13));     // dcm[0]
        report(34, 7, {0xF0});                // rcReceiver[7], zero-extended
        Bytes debug;
        for (int e = 0; e < 10; ++e) debug = cat({debug, le16(e * 100 - 1000)});
        report(40, 0, debug);                 // debugData, all 10 elements
    }
};

class GroundStationRead : public GroundStation, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(GroundStationRead, GivesTheFieldAtAValidIndexAndRefusesTheFirstInvalidOne) {
    const ReadCase& c = GetParam();
    feedReports();

    Slot ok;
    ASSERT_EQ(ERROR_NO, read(c.dataID, c.index, ok));
    EXPECT_EQ(c.expected, ok.value);
    EXPECT_TRUE(ok.used());

    Slot bad;
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, read(c.dataID, c.badIndex, bad));
    EXPECT_TRUE(bad.untouched());
    Slot negative;
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, read(c.dataID, -1, negative));
    EXPECT_TRUE(negative.untouched());
}

INSTANTIATE_TEST_SUITE_P(
    EveryReadId, GroundStationRead,
    ::testing::Values(ReadCase{1, 0, 0xFFFE, 1}, ReadCase{2, 0, 0x8001, 1}, ReadCase{3, 0, -3, 1},
                      ReadCase{4, 0, 300, 1}, ReadCase{5, 0, -32768, 1}, ReadCase{6, 0, -1, 1},
                      ReadCase{7, 0, 2, 1}, ReadCase{8, 0, -3, 1},
                      ReadCase{9, 1, 7, 2},  // compass has 3 elements, compassSize 2
                      ReadCase{10, 1, -8, 2}, ReadCase{11, 1, 9, 2}, ReadCase{13, 0, -100000, 1},
                      ReadCase{14, 0, -7, 1}, ReadCase{15, 0, 11, 1}, ReadCase{16, 0, -12, 1},
                      ReadCase{17, 0, 13, 1}, ReadCase{29, 7, 0xF0, 8}, ReadCase{30, 0, 0, 1},
                      ReadCase{39, 9, -100, 10}, ReadCase{48, 0, 1, 1}, ReadCase{51, 0, 0, 1}),
    readName);

TEST_F(GroundStation, ReadIdsWithoutAnEntryAreRefused) {
    std::vector<int> ids = {0, 12, 31, 32, 33, 34, 35, 36, 37, 38, 49, 50, 52, 53, -1, 1000};
    for (int id = 18; id <= 28; ++id) ids.push_back(id);
    for (int id = 40; id <= 47; ++id) ids.push_back(id);
    for (int id : ids) {
        Slot s;
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, read(id, 0, s)) << "data ID " << id;
        EXPECT_TRUE(s.untouched()) << "data ID " << id;
    }
    Slot noSlot;
    noSlot.left = 0;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, read(12, 0, noSlot));
}

TEST_F(GroundStation, AgeReadsFollowTheManagerClock) {
    mm.run(499);
    Slot alive;
    ASSERT_EQ(ERROR_NO, read(48, 0, alive));
    EXPECT_EQ(1, alive.value);
    mm.run(500);
    Slot age, old;
    ASSERT_EQ(ERROR_NO, read(51, 0, age));
    ASSERT_EQ(ERROR_NO, read(48, 0, old));
    EXPECT_EQ(500, age.value);
    EXPECT_EQ(0, old.value);
}

struct QrnSetCase {
    const char* name;
    int dataID;
    int index;
    int value;
    int badIndex;
    std::vector<int> refused;
    std::function<int(const ORQ::ComponentQRNClient&)> field;
    int expectedField;
    std::vector<Sent> sent;
};

std::string qrnSetName(const ::testing::TestParamInfo<QrnSetCase>& info) { return info.param.name; }

class GroundStationSet : public GroundStation, public ::testing::WithParamInterface<QrnSetCase> {};

TEST_P(GroundStationSet, StoresTheValueAndQueuesExactlyItsMessage) {
    const QrnSetCase& c = GetParam();
    const int before = c.field(*model);

    for (int v : c.refused) {
        Slot s;
        EXPECT_EQ(ERROR_INVALID_VALUE, set(c.dataID, c.index, v, s)) << "value " << v;
        EXPECT_EQ(&s.value, s.cursor);
    }
    Slot badIndex;
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, set(c.dataID, c.badIndex, c.value, badIndex));
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, set(c.dataID, -1, c.value, badIndex));
    EXPECT_EQ(before, c.field(*model));
    EXPECT_TRUE(drain().empty()) << "a refused set queued a message";

    Slot s;
    ASSERT_EQ(ERROR_NO, set(c.dataID, c.index, c.value, s));
    EXPECT_TRUE(s.used());
    EXPECT_EQ(c.expectedField, c.field(*model));
    EXPECT_EQ(c.sent, drain());
}

using QRN = ORQ::ComponentQRNClient;

INSTANTIATE_TEST_SUITE_P(
    EverySetId, GroundStationSet,
    ::testing::Values(
        QrnSetCase{"RcSender37", 37, 3, 300, 8, {}, [](const QRN& k) { return int(k.rcSender[3]); }, 44, {{17, 3, {44}}}},
        QrnSetCase{"DebugElement39", 39, 9, -2, 10, {}, [](const QRN& k) { return int(k.debugData[9]); }, -2,
                   {{40, 18, {0xFE, 0xFF}}}},
        QrnSetCase{"SecureArm49", 49, 0, 1, 1, {2}, [](const QRN& k) { return int(k.secureCommand[0]); }, 0x5D3A6B24,
                   {{51, 0, le32(0x5D3A6B24)}}},
        QrnSetCase{"SecureNothing49", 49, 0, 0, 1, {-1}, [](const QRN& k) { return int(k.secureCommand[0]); }, 0, {}},
        QrnSetCase{"SecureOne50", 50, 0, 1, 1, {2}, [](const QRN& k) { return int(k.secureCommand[0]); }, 3,
                   {{51, 0, le32(3)}}},
        QrnSetCase{"SecureZero50", 50, 0, 0, 1, {}, [](const QRN& k) { return int(k.secureCommand[0]); }, 4,
                   {{51, 0, le32(4)}}},
        QrnSetCase{"ActivControl52", 52, 0, -1, 1, {}, [](const QRN& k) { return int(k.activControl); }, 0xFFFF,
                   {{55, 0, {0xFF, 0xFF}}}},
        QrnSetCase{"SecureOne53", 53, 0, 1, 1, {2}, [](const QRN& k) { return int(k.secureCommand[0]); }, 1,
                   {{51, 0, le32(1)}}},
        QrnSetCase{"SecureZero53", 53, 0, 0, 1, {}, [](const QRN& k) { return int(k.secureCommand[0]); }, 2,
                   {{51, 0, le32(2)}}}),
    qrnSetName);

TEST_F(GroundStation, SetIdsWithoutAnEntryAreRefusedAndSendNothing) {
    std::vector<int> ids = {0, 1, 36, 38, 51, 54, -1, 1000};
    for (int id = 40; id <= 48; ++id) ids.push_back(id);
    for (int id : ids) {
        Slot s;
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, set(id, 0, 1, s)) << "data ID " << id;
        EXPECT_EQ(1, s.left);
    }
    EXPECT_TRUE(drain().empty());
}

// ---------------------------------------------------------------- link statistics

TEST(LinkStatistics, ReadTheReceiveCountersOfTheMessageSystem) {
    // A good small frame (type 6 from 5 to 1, check byte = XOR of the layout),
    // then a frame whose check byte is wrong.
    Bytes layout = cat({{3, 6, 5, 1, 0}, vec3(1, 2, 3)});
    uint8_t crc = 0;
    for (uint8_t b : layout) crc ^= b;
    Bytes good = cat({{0xFD}, layout, {crc, 0xFC}});
    Bytes bad = cat({{0xFD}, layout, {static_cast<uint8_t>(crc ^ 1), 0xFC}});
    ORQ::test::FakeUart link;
    link.addReceived(cat({good, bad}));
    ORQ::MessageSystem ms(&link);
    ms.run();
    while (ORQ::Message* m = ms.getNewMessage()) delete m;

    ComponentDLLInterface map;
    int slots[4] = {sentinel, sentinel, sentinel, sentinel};
    int* cursor = slots;
    int left = 4;
    ASSERT_EQ(ERROR_NO, map.getDataKomplexPart(&ms, 45, 0, &cursor, &left));
    ASSERT_EQ(ERROR_NO, map.getDataKomplexPart(&ms, 46, 77, &cursor, &left));  // the index is not looked at
    ASSERT_EQ(ERROR_NO, map.getDataKomplexPart(&ms, 47, -1, &cursor, &left));
    EXPECT_EQ(int(ms.statistics().receiveError), slots[0]);
    EXPECT_GE(slots[0], 1);
    EXPECT_EQ(2, slots[1]);
    EXPECT_EQ(int(good.size() + bad.size()), slots[2]);
    EXPECT_EQ(sentinel, slots[3]);
    EXPECT_EQ(slots + 3, cursor);
    EXPECT_EQ(1, left);
}

TEST(LinkStatistics, RefuseOtherIdsAndEverySet) {
    ORQ::MessageSystem ms;
    ComponentDLLInterface map;
    int slot = sentinel;
    int* cursor = &slot;
    int left = 1;
    for (int id : {0, 1, 44, 51, -1}) {
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, map.getDataKomplexPart(&ms, id, 0, &cursor, &left)) << id;
    }
    for (int id : {45, 46, 47, 48, 1}) {
        EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, map.setDataKomplexPart(&ms, id, 0, &cursor, &left)) << id;
    }
    EXPECT_EQ(sentinel, slot);
    EXPECT_EQ(&slot, cursor);
    EXPECT_EQ(1, left);

    left = 0;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, map.getDataKomplexPart(&ms, 45, 0, &cursor, &left));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, map.setDataKomplexPart(&ms, 45, 0, &cursor, &left));
}

}  // namespace
