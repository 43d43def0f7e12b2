// The library's whole job, as a host sees it: liborq.so loaded by path and
// started on a pseudo-terminal where a simulated flight board and ground
// station run. Every settable value set through setData reaches its device
// and comes back; then every value the devices report is read through getData
// and must be exactly the one the device last put on the line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "host/Dll.h"
#include "HostLibrary.h"
#include "ProcessProbe.h"
#include "Simulator.h"

namespace {

using namespace std::chrono_literals;

const int boardID = 5;
const int stationID = 6;

// A read entry of a data map: data ID and how many indexes it has.
struct Read {
    int dataID;
    int indexes;
};

// Every read the maps offer for values the devices report (the library's own
// bookkeeping, 46, 48 and 51, has no device-side counterpart).
const std::vector<Read> boardReads = {
    {1, 1},  {2, 1},  {3, 1},  {4, 1},  {5, 1},  {6, 1},  {7, 1},  {8, 1},  {9, 2},  {10, 2}, {11, 2},
    {12, 4}, {13, 2}, {14, 1}, {15, 2}, {16, 2}, {17, 2}, {18, 1}, {19, 1}, {20, 1}, {22, 1}, {23, 3},
    {24, 3}, {25, 3}, {27, 3}, {28, 3}, {30, 1}, {32, 1}, {35, 1}, {39, 21}, {41, 1}, {42, 1}, {44, 1},
};
const std::vector<Read> stationReads = {
    {1, 1},  {2, 1},  {3, 1},  {4, 1},  {5, 1},  {6, 1},  {7, 1},  {8, 1},  {9, 2},
    {10, 2}, {11, 2}, {13, 1}, {14, 1}, {15, 1}, {16, 1}, {17, 1}, {29, 8}, {30, 1}, {39, 10},
};

// One set, the device value it must produce, and whether the host can read
// the same data ID back once the device has reported it.
struct Set {
    int id;
    int dataID;
    int index;
    int value;
    int deviceDataID;  // where the device shows the effect
    int32_t deviceValue;
    bool readBack;
};

const std::vector<Set> sets = {
    {boardID, 23, 1, 100000001, 23, 100000001, true},
    {boardID, 24, 1, -200000002, 24, -200000002, true},
    {boardID, 25, 1, 12345, 25, 12345, true},
    {boardID, 27, 1, 15, 27, 15, true},
    {boardID, 28, 1, 7, 28, 7, true},
    {boardID, 31, 0, 1, 31, 1, false},
    {boardID, 32, 0, 2, 32, 2, true},  // reported back as the mode the board is in
    {boardID, 33, 0, 1, 33, 1, false},
    {boardID, 34, 0, 1, 34, 1, false},
    {boardID, 36, 0, 1, 36, 1, false},
    {boardID, 38, 0, 1, 38, 1, false},
    {boardID, 42, 0, 0, 34, 0, false},  // 42 lowers the accel flag (read 42 is safeMode)
    {boardID, 39, 0, 11111, 39, 11111, true},
    {boardID, 41, 0, 1, 41, 1, true},
    {boardID, 43, 0, 500, 43, 500, false},
    {boardID, 49, 0, 1, 49, 0x5D3A6B24, false},
    {boardID, 50, 0, 1, 50, 3, false},
    {boardID, 52, 0, 0x1234, 52, 0x1234, false},
    {boardID, 53, 0, 0, 53, 2, false},
    {boardID, 54, 2, 1500, 54, 1500, false},
    {stationID, 37, 3, 200, 37, 200, false},
    {stationID, 39, 1, 77, 39, 77, true},
    {stationID, 49, 0, 1, 49, 0x5D3A6B24, false},
    {stationID, 50, 0, 0, 50, 4, false},
    {stationID, 52, 0, 0x4321, 52, 0x4321, false},
    {stationID, 53, 0, 1, 53, 1, false},
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.openPty());
        ASSERT_TRUE(sim.addDevice(boardID, ORQSim::SimDevice::FlightBoard));
        ASSERT_TRUE(sim.addDevice(stationID, ORQSim::SimDevice::GroundStation));
        ASSERT_TRUE(sim.start());
        ASSERT_EQ(ERROR_NO, lib.callInit(1, 0, sim.path().c_str()));
        ASSERT_TRUE(ORQ::test::eventually([&] { return typeOf(boardID) == 1 && typeOf(stationID) == 0; }, 30s))
            << "both devices are typed";
    }
    void TearDown() override {
        lib.deinit();
        sim.stop();
    }

    int typeOf(int id) {
        int type = -1;
        return lib.getData(id, 30, &type, 0) == ERROR_NO ? type : -1;
    }

    // The mismatches between what the host reads and what the device holds.
    std::vector<std::string> mismatches(int id, const std::vector<Read>& reads) {
        std::vector<std::string> out;
        for (const Read& r : reads) {
            for (int index = 0; index < r.indexes; ++index) {
                int32_t expected = 0;
                if (!sim.currentValue(static_cast<uint8_t>(id), r.dataID, index, expected)) {
                    out.push_back("device has no value " + std::to_string(r.dataID));
                    continue;
                }
                int value = 0;
                const int result = lib.getData(id, r.dataID, &value, index);
                if (result != ERROR_NO || value != expected) {
                    out.push_back("node " + std::to_string(id) + " data " + std::to_string(r.dataID) + "[" +
                                  std::to_string(index) + "]: read " + std::to_string(value) + " (code " +
                                  std::to_string(result) + "), device " + std::to_string(expected));
                }
            }
        }
        return out;
    }

    ORQ::test::HostLibrary& lib = ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY);
    ORQSim::Simulator sim;
};

TEST_F(EndToEnd, EverySetReachesItsDeviceAndComesBack) {
    for (const Set& s : sets) {
        SCOPED_TRACE("node " + std::to_string(s.id) + " data " + std::to_string(s.dataID));
        ASSERT_EQ(ERROR_NO, lib.setData(s.id, s.dataID, s.value, s.index));
        EXPECT_TRUE(sim.waitForValue(static_cast<uint8_t>(s.id), s.deviceDataID, s.index, s.deviceValue, 10s));
        if (s.readBack) {
            EXPECT_TRUE(ORQ::test::eventually(
                [&] {
                    int value = 0;
                    return lib.getData(s.id, s.dataID, &value, s.index) == ERROR_NO && value == s.value;
                },
                10s));
        }
    }
}

TEST_F(EndToEnd, EveryReportedValueReachesItsDataId) {
    // A few seconds of live traffic, so that every value has been reported
    // (the slowest report comes once a second).
    std::this_thread::sleep_for(3s);
    sim.reportAllAndPause();
    std::vector<std::string> wrong;
    const bool settled = ORQ::test::eventually(
        [&] {
            wrong = mismatches(boardID, boardReads);
            const std::vector<std::string> station = mismatches(stationID, stationReads);
            wrong.insert(wrong.end(), station.begin(), station.end());
            return wrong.empty();
        },
        10s);
    EXPECT_TRUE(settled);
    for (const std::string& w : wrong) ADD_FAILURE() << w;
}

}  // namespace
