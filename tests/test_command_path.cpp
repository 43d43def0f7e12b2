// The host's commands on their way to the send queue, through the host's
// data calls on a manager the test built (no serial device): a set the queue
// refuses is reported and leaves the model as it was, commands leave in the
// order the host gave them and secure commands are never merged, a data lock
// held for a while is waited for, and a model built over dirty memory sends
// what a fresh one sends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <new>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "models/ComponentQRNClient.h"
#include "datamaps/ComponentQRNInterface.h"
#include "routing/ComponentRef.h"
#include "models/ComponentVKRClient.h"
#include "datamaps/ComponentVKRInterface.h"
#include "host/Dll.h"
#include "HostCalls.h"
#include "ManagerHarness.h"
#include "routing/MessageManager.h"
#include "wire/MessageQueue.h"
#include "wire/MessageSystem.h"
#include "TestMessages.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ORQ::test::layoutOf;
using ORQ::test::makeMessage;

const uint8_t ownID = 200;
const uint8_t boardID = 5;
const uint8_t stationID = 6;
const int queueSize = ORQ::MessageQueue::maxElements;

// A started library's manager with a flight board and a ground station; the
// test plays the send thread by draining the queue.
class CommandPath : public ::testing::Test {
protected:
    CommandPath() : board(new ORQ::ComponentVKRClient(boardID)), station(new ORQ::ComponentQRNClient(stationID)) {
        mm.addMessageSystem(&ms);
        mm.setMyID(ownID);
        mm.getWorldModel()->addComponent(board);
        mm.getWorldModel()->addComponent(station);
    }

    ORQ::MessageQueue& queue() { return *ms.getMessageQueue(); }

    int read(int id, int dataID, int index) {
        int v = 0x5A5A5A5A;
        EXPECT_EQ(ERROR_NO, host.getData(id, dataID, &v, index));
        return v;
    }

    // Everything queued, oldest first, as (data type, channel, payload).
    struct Sent {
        int dataType, channel;
        Bytes payload;
        bool operator==(const Sent& o) const {
            return dataType == o.dataType && channel == o.channel && payload == o.payload;
        }
    };
    std::vector<Sent> drain() {
        std::vector<Sent> sent;
        while (ORQ::Message* m = queue().getFirstMessage()) {
            sent.push_back({m->dataType, m->channel, ORQ::test::payloadOf(*m)});
            queue().deleteFirst();
        }
        return sent;
    }

    // Fills the queue with messages no set refreshes.
    void fillQueue() {
        for (int i = 0; queue().getElementCount() < queueSize; ++i) {
            ORQ::Message m = makeMessage(250, ownID, 99, static_cast<uint8_t>(i), {0});
            ASSERT_TRUE(ms.send(&m));
        }
    }

    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    ORQ::ComponentVKRClient* board;    // owned by the world model
    ORQ::ComponentQRNClient* station;  // owned by the world model
    ORQ::test::HostCalls host{mm, ms};
};

Bytes le32(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

// ------------------------------------------------------- refused sets

TEST_F(CommandPath, AMissionLargerThanTheQueueIsRefusedFromTheFirstWaypointWithoutRoom) {
    const int waypoints = 90;
    for (int i = 0; i < waypoints; ++i) {
        EXPECT_EQ(i < queueSize ? ERROR_NO : ERROR_BUFFER_TOO_SMAL, host.setData(boardID, 23, 1000 + i, i)) << i;
    }
    // The host reads back what was sent, and only that.
    for (int i = 0; i < waypoints; ++i) EXPECT_EQ(i < queueSize ? 1000 + i : 0, read(boardID, 23, i)) << i;
    EXPECT_EQ(waypoints - queueSize, read(ownID, 49, 0));

    // What was reported done is what goes out, in the order it was given.
    const std::vector<Sent> sent = drain();
    ASSERT_EQ(sent.size(), size_t(queueSize));
    for (int i = 0; i < queueSize; ++i) {
        EXPECT_EQ(sent[i].dataType, 41);
        EXPECT_EQ(sent[i].channel, i);
    }
    // Room again: the refused waypoints go through now.
    for (int i = queueSize; i < waypoints; ++i) EXPECT_EQ(ERROR_NO, host.setData(boardID, 23, 1000 + i, i)) << i;
}

TEST_F(CommandPath, ABatchStopsAtTheRefusedItemWithItsCountAsPassed) {
    const int items = 80;
    std::vector<int> ids(items, 24), indexes(items), values(items);
    for (int i = 0; i < items; ++i) {
        indexes[i] = i;
        values[i] = 7000 + i;
    }
    int size = items;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL,
              host.setDataKomplex(boardID, ids.data(), indexes.data(), items, values.data(), &size));
    EXPECT_EQ(items, size);
    EXPECT_EQ(7000 + queueSize - 1, read(boardID, 24, queueSize - 1));
    EXPECT_EQ(0, read(boardID, 24, queueSize));
    EXPECT_EQ(size_t(queueSize), drain().size());
}

// Every kind of model field a set writes: with the queue full, the set is
// refused and the field reads as before.
struct RefusedSet {
    const char* name;
    uint8_t id;
    int dataID, index, value;
    std::function<long long(ORQ::ComponentVKRClient&, ORQ::ComponentQRNClient&)> field;
};

void PrintTo(const RefusedSet& c, std::ostream* os) { *os << c.name; }

std::vector<RefusedSet> refusedSets() {
    using B = ORQ::ComponentVKRClient;
    using S = ORQ::ComponentQRNClient;
    return {
        {"WaypointAltitude", boardID, 25, 3, 77, [](B& b, S&) { return b.waypoint[3].point.Position.altitude; }},
        {"WaypointHoldTime", boardID, 28, 0, 9, [](B& b, S&) { return b.waypoint[0].point.HoldTime; }},
        {"MotorOn", boardID, 31, 0, 1, [](B& b, S&) { return b.motorOn; }},
        {"GpsMode", boardID, 32, 0, 2, [](B& b, S&) { return b.gpsMode; }},
        {"CalibrateGyro", boardID, 33, 0, 1, [](B& b, S&) { return b.cmd.gyro; }},
        {"AutoRotate", boardID, 38, 0, 1, [](B& b, S&) { return b.cmd.autoRotate; }},
        {"BoardDebugElement", boardID, 39, 4, 321, [](B& b, S&) { return b.debugData[4]; }},
        {"Throttle", boardID, 43, 0, 55, [](B& b, S&) { return *b.actGas; }},
        {"BoardArm", boardID, 49, 0, 1, [](B& b, S&) { return b.secureCommand[0]; }},
        {"BoardSecure53", boardID, 53, 0, 1, [](B& b, S&) { return b.secureCommand[0]; }},
        {"BoardActiveControl", boardID, 52, 0, 12, [](B& b, S&) { return b.activControl; }},
        {"Pwm", boardID, 54, 2, 1500, [](B& b, S&) { return b.pwmOutput[2]; }},
        {"RcSender", stationID, 37, 1, 99, [](B&, S& s) { return s.rcSender[1]; }},
        {"StationDebugElement", stationID, 39, 2, 5, [](B&, S& s) { return s.debugData[2]; }},
        {"StationSecure50", stationID, 50, 0, 1, [](B&, S& s) { return s.secureCommand[0]; }},
    };
}

class RefusedSetCase : public CommandPath, public ::testing::WithParamInterface<RefusedSet> {};

TEST_P(RefusedSetCase, IsReportedAndLeavesTheModelAsItWas) {
    const RefusedSet& c = GetParam();
    fillQueue();
    const long long before = c.field(*board, *station);
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.setData(c.id, c.dataID, c.value, c.index));
    EXPECT_EQ(before, c.field(*board, *station));
    EXPECT_EQ(1, read(ownID, 49, 0));

    queue().getFirstMessage();
    queue().deleteFirst();
    EXPECT_EQ(ERROR_NO, host.setData(c.id, c.dataID, c.value, c.index));
    EXPECT_NE(before, c.field(*board, *station));
}

INSTANTIATE_TEST_SUITE_P(Fields, RefusedSetCase, ::testing::ValuesIn(refusedSets()),
                         [](const ::testing::TestParamInfo<RefusedSet>& i) { return std::string(i.param.name); });

// ------------------------------------------------------------- order

TEST_F(CommandPath, CommandsLeaveInTheOrderGivenAndNoSecureCommandReplacesAnother) {
    for (int i = 0; i < 40; ++i) ASSERT_EQ(ERROR_NO, host.setData(boardID, 23, 100 + i, i));
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 53, 1, 0));  // code 1
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 50, 1, 0));  // code 3
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 32, 2, 0));  // GPS mode Home

    const std::vector<Sent> sent = drain();
    ASSERT_EQ(sent.size(), 43u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(sent[i].dataType, 41) << i;
        EXPECT_EQ(sent[i].channel, i) << i;
    }
    EXPECT_EQ(sent[40], (Sent{51, 0, le32(1)}));
    EXPECT_EQ(sent[41], (Sent{51, 0, le32(3)}));
    EXPECT_EQ(sent[42], (Sent{31, 0, {2}}));
}

TEST_F(CommandPath, ANewerStateReplacesTheQueuedOneInItsPlace) {
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 32, 1, 0));
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 23, 500, 0));
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 32, 2, 0));
    ASSERT_EQ(ERROR_NO, host.setData(stationID, 53, 0, 0));
    ASSERT_EQ(ERROR_NO, host.setData(stationID, 53, 0, 0));

    const std::vector<Sent> sent = drain();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], (Sent{31, 0, {2}}));
    EXPECT_EQ(sent[1].dataType, 41);
    EXPECT_EQ(sent[2], (Sent{51, 0, le32(2)}));  // the same command twice is sent twice
    EXPECT_EQ(sent[3], (Sent{51, 0, le32(2)}));
}

TEST_F(CommandPath, AWaypointCorrectedAfterACommandReachesTheDeviceBeforeTheCommand) {
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 23, 100, 0));  // wp0
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 53, 1, 0));    // go
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 23, 101, 0));  // wp0 corrected
    const std::vector<Sent> sent = drain();

    // What the corrected waypoint alone puts on the line.
    ASSERT_EQ(ERROR_NO, host.setData(boardID, 23, 101, 0));
    const std::vector<Sent> corrected = drain();
    ASSERT_EQ(corrected.size(), 1u);

    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], corrected[0]);
    EXPECT_EQ(sent[1], (Sent{51, 0, le32(1)}));
}

// ------------------------------------------------------ lock timing

TEST_F(CommandPath, ADataLockReleasedAfter700msStillLetsTheCallThrough) {
    std::promise<void> locked;
    std::thread holder([&] {
        ORQ::ComponentRef use = mm.getWorldModel()->acquireComponent(boardID);
        const bool held = use.lock();
        locked.set_value();
        if (!held) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    });
    locked.get_future().wait();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_NO, host.setData(boardID, 31, 1, 0));
    const auto waited = std::chrono::steady_clock::now() - start;
    holder.join();
    EXPECT_GE(waited, std::chrono::milliseconds(600));  // it did wait for the holder
    EXPECT_EQ(1, board->motorOn);
}

// ------------------------------------------------------- dirty memory

// A flight-board model constructed in memory of the given fill byte, in a
// manager of its own.
class ModelOver {
public:
    explicit ModelOver(uint8_t fill)
        : memory(::operator new(sizeof(ORQ::ComponentVKRClient), std::align_val_t(alignof(ORQ::ComponentVKRClient)))) {
        std::memset(memory, fill, sizeof(ORQ::ComponentVKRClient));
        model = new (memory) ORQ::ComponentVKRClient(boardID);
        model->setMessageManager(&link.mm);
    }
    ~ModelOver() {
        model->~ComponentVKRClient();
        ::operator delete(memory, std::align_val_t(alignof(ORQ::ComponentVKRClient)));
    }

    // The layouts queued by one set through the flight-board map.
    std::vector<Bytes> set(int dataID, int index, int value) {
        int slot = value;
        int* cursor = &slot;
        int size = 1;
        EXPECT_EQ(ERROR_NO, map.setDataKomplexPart(model, dataID, index, &cursor, &size));
        std::vector<Bytes> layouts;
        for (ORQ::Message& m : link.drain()) layouts.push_back(layoutOf(m));
        return layouts;
    }

    ORQ::test::ManagerHarness link{ownID};
    void* memory;
    ORQ::ComponentVKRClient* model;
    ComponentVKRInterface map;
};

TEST(DirtyMemory, AModelBuiltOverFFBytesQueuesWhatAFreshOneQueues) {
    ModelOver fresh(0x00);
    ModelOver dirty(0xFF);
    const int sets[][3] = {{23, 0, 1}, {24, 1, 2}, {25, 2, 3}, {27, 3, 4}, {28, 4, 5}, {31, 0, 1},
                           {32, 0, 2}, {33, 0, 1}, {34, 0, 1}, {36, 0, 1}, {38, 0, 0}, {39, 5, 6},
                           {41, 0, 1}, {42, 0, 1}, {43, 0, 9}, {49, 0, 1}, {50, 0, 0}, {52, 0, 3},
                           {53, 0, 1}, {54, 3, 1200}};
    for (const auto& s : sets) {
        const std::vector<Bytes> expected = fresh.set(s[0], s[1], s[2]);
        ASSERT_FALSE(expected.empty()) << s[0];
        EXPECT_EQ(expected, dirty.set(s[0], s[1], s[2])) << "data ID " << s[0];
    }
}

}  // namespace
