// The host's data calls on a manager the test built (no serial device), as
// the exported functions run them once they found the current start: batch
// semantics, the component checks, the library's own ID, null pointers from
// the host, and a component whose data lock another thread keeps. The
// exported functions themselves: the calls with fixed results, every call
// before init, and the calls through liborq.so on a simulated line.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "node/Component.h"
#include "models/ComponentQRNClient.h"
#include "routing/ComponentRef.h"
#include "models/ComponentVKRClient.h"
#include "datamaps/DeviceModelFactory.h"
#include "host/Dll.h"
#include "HostCalls.h"
#include "HostLibrary.h"
#include "host/Library.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "ProcessProbe.h"
#include "Simulator.h"
#include "TestMessages.h"

namespace {

using namespace std::chrono_literals;

const int untouched = 0x5A5A5A5A;

// Manager with own ID 200, observing and adding new senders like a started
// library; a flight board with ID 1 and a ground station with ID 7.
class DataCalls : public ::testing::Test {
protected:
    static constexpr uint8_t ownID = 200;
    static constexpr uint8_t boardID = 1;
    static constexpr uint8_t stationID = 7;

    DataCalls() : board(new ORQ::ComponentVKRClient(boardID)), station(new ORQ::ComponentQRNClient(stationID)) {
        mm.setObserve(1);
        mm.setAutoAddNewComponents(1);
        mm.setComponentFactory(&ORQ::makeDeviceModel);
        mm.addMessageSystem(&ms);
        mm.setMyID(ownID);
        mm.getWorldModel()->addComponent(board);
        mm.getWorldModel()->addComponent(station);
    }

    // Data types of everything queued since the last call, oldest first.
    std::vector<int> drainTypes() {
        std::vector<int> types;
        ORQ::MessageQueue* q = ms.getMessageQueue();
        while (ORQ::Message* m = q->getFirstMessage()) {
            types.push_back(m->dataType);
            q->deleteFirst();
        }
        return types;
    }

    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    ORQ::ComponentVKRClient* board;    // owned by the world model
    ORQ::ComponentQRNClient* station;  // owned by the world model
    ORQ::test::HostCalls host{mm, ms};
};

TEST_F(DataCalls, ABatchThatRunsOutOfSlotsFillsWhatFitsAndKeepsTheCount) {
    int ids[] = {1, 2, 30};  // HWversion 256, FWversion 1, type 1
    int indexs[] = {0, 0, 0};
    int value[3] = {untouched, untouched, untouched};
    int size = 2;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getDataKomplex(boardID, ids, indexs, 3, value, &size));
    EXPECT_EQ(256, value[0]);
    EXPECT_EQ(1, value[1]);
    EXPECT_EQ(untouched, value[2]);
    EXPECT_EQ(2, size);
}

TEST_F(DataCalls, ABatchWithSpareSlotsReportsTheSlotsUsed) {
    int ids[] = {1, 2, 30};
    int indexs[] = {0, 0, 0};
    int value[5] = {untouched, untouched, untouched, untouched, untouched};
    int size = 5;
    ASSERT_EQ(ERROR_NO, host.getDataKomplex(boardID, ids, indexs, 3, value, &size));
    EXPECT_EQ(3, size);
    EXPECT_EQ(256, value[0]);
    EXPECT_EQ(1, value[1]);
    EXPECT_EQ(1, value[2]);
    EXPECT_EQ(untouched, value[3]);
    EXPECT_EQ(untouched, value[4]);
}

TEST_F(DataCalls, ASetBatchKeepsTheItemsBeforeAFailureAndStopsThere) {
    int ids[] = {31, 1, 52};  // motorOn, no set entry, activControl
    int indexs[] = {0, 0, 0};
    int value[] = {7, 1, 9};
    int size = 3;
    EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, host.setDataKomplex(boardID, ids, indexs, 3, value, &size));
    EXPECT_EQ(3, size);
    EXPECT_EQ(7, board->motorOn);        // first item applied
    EXPECT_EQ(0, board->activControl);   // third never looked at
    EXPECT_EQ(std::vector<int>({19}), drainTypes());  // and only the first was sent
}

TEST_F(DataCalls, ABatchOfNoItemsSucceedsWithNoSlotsUsed) {
    for (int komplexSize : {0, -4}) {
        for (int startSize : {5, -2}) {
            int value = untouched;
            int size = startSize;
            EXPECT_EQ(ERROR_NO, host.getDataKomplex(boardID, nullptr, nullptr, komplexSize, &value, &size));
            EXPECT_EQ(0, size);
            size = startSize;
            EXPECT_EQ(ERROR_NO, host.setDataKomplex(stationID, nullptr, nullptr, komplexSize, &value, &size));
            EXPECT_EQ(0, size);
            EXPECT_EQ(untouched, value);
        }
    }
    EXPECT_TRUE(drainTypes().empty());
}

TEST_F(DataCalls, ANegativeSlotCountIsNoSlotAtTheFirstItem) {
    int id = 1, index = 0, value = untouched, size = -1;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getDataKomplex(boardID, &id, &index, 1, &value, &size));
    EXPECT_EQ(untouched, value);
    EXPECT_EQ(-1, size);
}

TEST_F(DataCalls, SingleCallsReachBothDeviceMaps) {
    int value = untouched;
    ASSERT_EQ(ERROR_NO, host.getData(boardID, 30, &value, 0));
    EXPECT_EQ(1, value);
    ASSERT_EQ(ERROR_NO, host.getData(stationID, 30, &value, 0));
    EXPECT_EQ(0, value);
    ASSERT_EQ(ERROR_NO, host.getData(stationID, 29, &value, 7));
    EXPECT_EQ(0, value);

    ASSERT_EQ(ERROR_NO, host.setData(stationID, 37, 300, 3));
    EXPECT_EQ(44, station->rcSender[3]);
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, host.setData(stationID, 37, 1, 8));
    EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, host.setData(boardID, 37, 1, 0));
    EXPECT_EQ(ERROR_INVALID_VALUE, host.setData(boardID, 32, 3, 0));
    EXPECT_EQ(std::vector<int>({17}), drainTypes());
}

TEST_F(DataCalls, OnlyTheLow8BitsOfTheComponentIdCount) {
    int value = untouched;
    ASSERT_EQ(ERROR_NO, host.getData(256 + boardID, 30, &value, 0));
    EXPECT_EQ(1, value);
    ASSERT_EQ(ERROR_NO, host.getData(-256 + stationID, 1, &value, 0));
    EXPECT_EQ(256, value);
}

TEST_F(DataCalls, UnknownComponentsAndIdZeroAreNotSupported) {
    for (int id : {0, 256, 99}) {
        int value = untouched;
        EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.getData(id, 30, &value, 0)) << id;
        EXPECT_EQ(untouched, value);
        EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.setData(id, 31, 1, 0)) << id;
    }
    EXPECT_TRUE(drainTypes().empty());
}

TEST_F(DataCalls, ASenderStillWaitingForItsTypeIsNotSupported) {
    // The first message of an unknown sender creates a placeholder.
    ORQ::Message m = ORQ::test::makeMessage(54, 42, ownID, 0, {0});
    mm.procMessage(&m, &ms);
    ASSERT_NE(nullptr, mm.getWorldModel()->getComponent(42));

    for (int dataID : {1, 30, 48, 51}) {
        int value = untouched;
        EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.getData(42, dataID, &value, 0)) << dataID;
        EXPECT_EQ(untouched, value);
    }
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.setData(42, 52, 1, 0));
}

TEST_F(DataCalls, AComponentOfAnotherTypeOrClassIsRefused) {
    ORQ::Component* odd = new ORQ::Component(20);
    odd->type = 2;
    ORQ::Component* fakeBoard = new ORQ::Component(21);
    fakeBoard->type = 1;
    mm.getWorldModel()->addComponent(odd);
    mm.getWorldModel()->addComponent(fakeBoard);

    int id = 30, index = 0, value = untouched, size = 1;
    EXPECT_EQ(ERROR_COMPONENTTYPE_NOT_SUPPORTED, host.getDataKomplex(20, &id, &index, 1, &value, &size));
    EXPECT_EQ(1, size);
    EXPECT_EQ(untouched, value);
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.getDataKomplex(21, &id, &index, 1, &value, &size));
    EXPECT_EQ(1, size);

    // Each call gave the lock back.
    EXPECT_TRUE(mm.getWorldModel()->acquireComponent(20).lock());
    EXPECT_TRUE(mm.getWorldModel()->acquireComponent(21).lock());
    EXPECT_EQ(0, odd->useCount() + fakeBoard->useCount());
}

TEST_F(DataCalls, TheLibrarysOwnIdReadsTheLinkStatistics) {
    // One good frame and one with a wrong check byte reach the message system.
    const std::vector<uint8_t> layout = {3, 54, 9, ownID, 0, 1};
    uint8_t crc = 0;
    for (uint8_t b : layout) crc ^= b;
    std::vector<uint8_t> bytes = {0xFD};
    bytes.insert(bytes.end(), layout.begin(), layout.end());
    bytes.push_back(crc);
    bytes.push_back(0xFC);
    bytes.push_back(0xFD);
    bytes.insert(bytes.end(), layout.begin(), layout.end());
    bytes.push_back(static_cast<uint8_t>(crc ^ 0x10));
    bytes.push_back(0xFC);
    ms.procNewData(bytes.data(), static_cast<uint8_t>(bytes.size()));
    while (ORQ::Message* m = ms.getNewMessage()) delete m;

    for (int componenID : {int(ownID), ownID + 256}) {
        int ids[] = {45, 46, 47};
        int indexs[] = {3, 0, -1};
        int value[3] = {untouched, untouched, untouched};
        int size = 3;
        ASSERT_EQ(ERROR_NO, host.getDataKomplex(componenID, ids, indexs, 3, value, &size));
        EXPECT_EQ(3, size);
        EXPECT_EQ(int(ms.statistics().receiveError), value[0]);
        EXPECT_GE(value[0], 1);
        EXPECT_EQ(2, value[1]);
        EXPECT_EQ(int(ms.statistics().receivedBytes), value[2]);
    }

    int value = untouched;
    EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, host.getData(ownID, 1, &value, 0));
    EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, host.setData(ownID, 45, 0, 0));
    int id = 45, index = 0, size = 0;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.setDataKomplex(ownID, &id, &index, 1, &value, &size));
    EXPECT_EQ(untouched, value);
}

TEST_F(DataCalls, NullPointersFromTheHostAreNoSlotBuffer) {
    int id = 31, index = 0, value = 5, size = 1;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getDataKomplex(boardID, &id, &index, 1, nullptr, &size));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getDataKomplex(boardID, &id, &index, 1, &value, nullptr));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.setDataKomplex(boardID, nullptr, &index, 1, &value, &size));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.setDataKomplex(boardID, &id, nullptr, 1, &value, &size));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.setDataKomplex(boardID, &id, &index, 0, &value, nullptr));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getData(boardID, 30, nullptr, 0));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, waitForData(1, 2, nullptr));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, waitForDataValue(1, 2, nullptr, 0));
    EXPECT_EQ(1, size);
    EXPECT_EQ(0, board->motorOn);
    EXPECT_TRUE(drainTypes().empty());
}

TEST(FixedResultCalls, AnswerAtOnceWithTheirFixedResults) {
    int value = untouched;
    EXPECT_EQ(ERROR_NO, waitForData(2, 3, &value));
    EXPECT_EQ(24, value);
    EXPECT_EQ(ERROR_NO, waitForDataValue(2, 3, &value, 7));
    EXPECT_EQ(18, value);
    EXPECT_EQ(ERROR_NO, waitForData(0x40000000, 1, &value));  // 32-bit wrap
    EXPECT_EQ(0, value);
    EXPECT_EQ(ERROR_NO, waitForDataValue(-1, 5, &value, 0));
    EXPECT_EQ(-15, value);

    int size = 4;
    value = untouched;
    EXPECT_EQ(ERROR_UNEXPECTED_EXCEPTION, getDataRaw(1, 1, &value, &size, 0));
    EXPECT_EQ(ERROR_UNEXPECTED_EXCEPTION, getDataRaw(0, -5, nullptr, nullptr, 9));
    EXPECT_EQ(untouched, value);
    EXPECT_EQ(4, size);
}

TEST(BeforeInit, DataCallsTouchNothingAndFindNoComponent) {
    ASSERT_EQ(nullptr, Library::current()) << "nothing in this program calls init in-process";
    int value = untouched;
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, getData(1, 30, &value, 0));
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, setData(1, 31, 1, 0));
    int id = 30, index = 0, size = 1;
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, getDataKomplex(1, &id, &index, 1, &value, &size));
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, setDataKomplex(1, &id, &index, 1, &value, &size));
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, getDataKomplex(1, nullptr, nullptr, 1, nullptr, nullptr));
    EXPECT_EQ(untouched, value);
    EXPECT_EQ(1, size);
    EXPECT_EQ(ERROR_NO, waitForData(2, 3, &value));
    EXPECT_EQ(ERROR_UNEXPECTED_EXCEPTION, getDataRaw(1, 1, &value, &size, 0));
}

TEST(BeforeInit, AnInstanceBuiltOutsideInitIsNotTheCurrentStart) {
    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    mm.addMessageSystem(&ms);
    mm.getWorldModel()->addComponent(new ORQ::ComponentVKRClient(1));
    ORQ::test::HostCalls host(mm, ms);

    int value = untouched;
    ASSERT_EQ(ERROR_NO, host.getData(1, 30, &value, 0));
    EXPECT_EQ(1, value);
    value = untouched;
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, getData(1, 30, &value, 0));
    EXPECT_EQ(untouched, value);
    EXPECT_EQ(nullptr, Library::current());
}

// Keeps a component's data lock on its own thread until released.
class LockHolder {
public:
    explicit LockHolder(ORQ::Component* c) : thread([this, c] {
        ORQ::ComponentRef use(c);
        const bool held = use.lock();
        {
            std::unique_lock<std::mutex> l(m);
            locked = held;
            cv.notify_all();
            cv.wait(l, [this] { return released; });
        }
    }) {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [this] { return locked.has_value(); });
    }
    ~LockHolder() {
        {
            std::lock_guard<std::mutex> l(m);
            released = true;
        }
        cv.notify_all();
        thread.join();
    }
    bool holds() {
        std::lock_guard<std::mutex> l(m);
        return locked.value_or(false);
    }

private:
    std::mutex m;
    std::condition_variable cv;
    std::optional<bool> locked;
    bool released = false;
    std::thread thread;  // last: starts once the state above exists
};

TEST_F(DataCalls, AComponentLockedElsewhereForLongerThanTheLimitIsNotSupported) {
    {
        LockHolder holder(board);
        ASSERT_TRUE(holder.holds());
        EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.setData(boardID, 31, 9, 0));
        int value = untouched;
        EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.getData(boardID, 30, &value, 0));
        EXPECT_EQ(untouched, value);
    }
    EXPECT_EQ(0, board->motorOn);
    EXPECT_TRUE(drainTypes().empty());

    // Once the lock is free again the same set goes through.
    EXPECT_EQ(ERROR_NO, host.setData(boardID, 31, 9, 0));
    EXPECT_EQ(9, board->motorOn);
}

// The host's own view: liborq.so loaded by path, started on a pseudo-terminal
// where a simulated flight board (5) and ground station (6) answer.
class HostPath : public ::testing::Test {
protected:
    HostPath() : lib(ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY)) {}

    void SetUp() override {
        ASSERT_TRUE(sim.openPty());
        for (const auto& device : {std::make_pair(5, ORQSim::SimDevice::FlightBoard),
                                   std::make_pair(6, ORQSim::SimDevice::GroundStation)}) {
            ASSERT_TRUE(sim.addDevice(static_cast<uint8_t>(device.first), device.second));
        }
        ASSERT_TRUE(sim.start());
    }
    void TearDown() override {
        lib.deinit();
        sim.stop();
    }

    // init on the line (own ID 1), then waits until both devices are typed.
    void startAndWaitForTypes() {
        ASSERT_EQ(ERROR_NO, lib.callInit(257, 0, sim.path().c_str()));
        auto typeOf = [this](int id) {
            int type = -1;
            return lib.getData(id, 30, &type, 0) == ERROR_NO ? type : -1;
        };
        ASSERT_TRUE(ORQ::test::eventually([&] { return typeOf(5) == 1 && typeOf(6) == 0; }, 30s));
    }

    ORQ::test::HostLibrary& lib;
    ORQSim::Simulator sim;
};

TEST_F(HostPath, DataCallsThroughTheSharedLibraryOnASimulatedLine) {
    int value = untouched;
    if (!lib.started()) {
        EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, lib.getData(5, 30, &value, 0));
        EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, lib.setData(5, 31, 1, 0));
        EXPECT_EQ(untouched, value);
    }
    ASSERT_NO_FATAL_FAILURE(startAndWaitForTypes());

    int ids[] = {1, 2, 30};
    int indexs[] = {0, 0, 0};
    int slots[3] = {untouched, untouched, untouched};
    int size = 2;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, lib.getDataKomplex(5, ids, indexs, 3, slots, &size));
    EXPECT_EQ(2, size);
    EXPECT_EQ(untouched, slots[2]);
    int32_t hwVersion = 0;
    ASSERT_TRUE(sim.currentValue(5, 1, 0, hwVersion));
    EXPECT_EQ(hwVersion, slots[0]);

    EXPECT_EQ(ERROR_NO, lib.setData(5, 31, 1, 0));
    EXPECT_TRUE(sim.waitForValue(5, 31, 0, 1, 10s));
    EXPECT_EQ(ERROR_NO, lib.setData(6, 52, 0x1234, 0));
    EXPECT_TRUE(sim.waitForValue(6, 52, 0, 0x1234, 10s));
    EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, lib.setData(5, 1, 0, 0));
    EXPECT_EQ(ERROR_INDEX_NOT_SUPPORTED, lib.setData(5, 54, 1, 4));
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, lib.getData(77, 30, &value, 0));

    // The library's own ID names its link: frames have been received by now.
    int received = 0;
    EXPECT_EQ(ERROR_NO, lib.getData(1, 46, &received, 0));
    EXPECT_GT(received, 0);
    EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, lib.setData(1, 46, 0, 0));

    int fixed = 0;
    EXPECT_EQ(ERROR_NO, lib.waitForData(2, 3, &fixed));
    EXPECT_EQ(24, fixed);
    EXPECT_EQ(ERROR_UNEXPECTED_EXCEPTION, lib.getDataRaw(5, 1, &fixed, &size, 0));

    EXPECT_EQ(ERROR_NO, lib.deinit());
}

// A set that no link will carry. Once deinit has stopped the link, and after
// an init that failed, every set entry point refuses with -62 and writes
// nothing into the model; reads go on giving the last mirrored values. The
// next init that opens a link takes sets again.
TEST_F(HostPath, SetsWhileNoLinkRunsAreRefusedAndChangeNothing) {
    ASSERT_NO_FATAL_FAILURE(startAndWaitForTypes());
    ASSERT_EQ(ERROR_NO, lib.setData(5, 23, 111, 0));
    ASSERT_EQ(ERROR_NO, lib.setData(5, 31, 1, 0));
    ASSERT_TRUE(sim.waitForValue(5, 31, 0, 1, 10s));
    ASSERT_EQ(ERROR_NO, lib.deinit());

    // Each a set the running library takes (or, on its own ID, refuses with
    // -63), with values the entries accept; the waypoint fields (23, 24) read
    // back what a set wrote into the model.
    struct SetCall {
        const char* label;
        int componentID;
        std::vector<int> dataIDs;
        std::vector<int> values;
        bool single;  // setData; else one setDataKomplex batch
    };
    const std::vector<SetCall> calls = {
        {"setData on the board", 5, {23}, {123456789}, true},
        {"setDataKomplex of one item on the station", 6, {52}, {0x1234}, false},
        {"setDataKomplex of two items on the board", 5, {23, 24}, {-5, 7}, false},
        {"setData on the library's own ID", 1, {46}, {0}, true},
    };
    auto reads = [this](const SetCall& c) {
        std::vector<int> values;
        for (int id : c.dataIDs) {
            int v = untouched;
            values.push_back(lib.getData(c.componentID, id, &v, 0) == ERROR_NO ? v : untouched);
        }
        return values;
    };
    auto refusedWithoutChange = [&](const char* state) {
        for (const SetCall& c : calls) {
            const std::vector<int> before = reads(c);
            int result;
            if (c.single) {
                result = lib.setData(c.componentID, c.dataIDs[0], c.values[0], 0);
            } else {
                std::vector<int> ids = c.dataIDs;
                std::vector<int> indexs(ids.size(), 0);
                std::vector<int> values = c.values;
                int size = static_cast<int>(values.size());
                result = lib.setDataKomplex(c.componentID, ids.data(), indexs.data(), static_cast<int>(ids.size()),
                                            values.data(), &size);
                EXPECT_EQ(static_cast<int>(values.size()), size) << state << ": " << c.label;
            }
            EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, result) << state << ": " << c.label;
            EXPECT_EQ(before, reads(c)) << state << ": " << c.label;
        }
    };

    refusedWithoutChange("after deinit");
    int longitude = untouched;
    EXPECT_EQ(ERROR_NO, lib.getData(5, 23, &longitude, 0));
    EXPECT_EQ(111, longitude) << "the last mirrored value stays readable";

    ASSERT_EQ(ERROR_START_DLL, lib.callInit(257, 0, "/nonexistent/orq/ttyUSB0"));
    refusedWithoutChange("after a failed init");

    ASSERT_NO_FATAL_FAILURE(startAndWaitForTypes());
    EXPECT_EQ(ERROR_NO, lib.setData(5, 31, 0, 0));
    EXPECT_TRUE(sim.waitForValue(5, 31, 0, 0, 10s));
}

}  // namespace
