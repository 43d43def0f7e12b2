// Bad input from the host, through liborq.so as a host loads it: null
// pointers, negative and huge counts, component IDs, data IDs and indexes at
// and past every bound, calls out of order (before init, after deinit, init
// and deinit twice), and device names that are null, empty or over-long.
// Every case gets its documented code and nothing crashes; the sanitizer
// builds run the same table.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "DataTypes.h"
#include "DeviceFrames.h"
#include "HostLibrary.h"
#include "ProcessProbe.h"
#include "Pty.h"

using namespace ORQ::test;
namespace DataType = ORQ::DataType;

namespace {

const std::chrono::milliseconds kDeadline(20000);
const int kOwnID = 1;
const int kFlightBoard = 5;
const int kGroundStation = 6;
const int kPlaceholder = 7;  // heard from, never answers the type request
const int kUntouched = 0x5A5A5A5A;

// Host codes (the ERRORS enumeration of the host interface).
const int OK = 0, RAW = -61, COMPONENT = -62, DATATYPE = -63, INDEX = -65, BUFFER = -66, VALUE = -67,
          START = -68;

struct HostCase {
    const char* what;
    std::function<int(HostLibrary&)> call;
    int expected;
};

void runTable(HostLibrary& lib, const std::vector<HostCase>& table) {
    for (const HostCase& c : table) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, c.call(lib));
    }
}

// A read that must fail leaves the host's slot as it was; one that succeeds
// fills it. Returns the code.
std::function<int(HostLibrary&)> read(int component, int dataID, int index) {
    return [=](HostLibrary& lib) {
        int v = kUntouched;
        const int r = lib.getData(component, dataID, &v, index);
        if (r != OK) {
            EXPECT_EQ(kUntouched, v) << "slot changed by a failed read";
        }
        return r;
    };
}

std::function<int(HostLibrary&)> set(int component, int dataID, int value, int index) {
    return [=](HostLibrary& lib) { return lib.setData(component, dataID, value, index); };
}

// A batch of three valid flight-board reads (acc x, y, z) with the given item
// count and slot count; a failure must leave *size as passed.
std::function<int(HostLibrary&)> batch(int items, int slots, int expectedSize) {
    return [=](HostLibrary& lib) {
        int ids[3] = {3, 4, 5}, indexes[3] = {0, 0, 0}, values[3] = {kUntouched, kUntouched, kUntouched};
        int size = slots;
        const int r = lib.getDataKomplex(kFlightBoard, ids, indexes, items, values, &size);
        EXPECT_EQ(expectedSize, size);
        return r;
    };
}

// Which of the four pointers of a batch call is null.
enum Null { NoNull, NullIDs, NullIndexes, NullValues, NullSize };

std::function<int(HostLibrary&)> batchWithNull(bool setCall, Null which, int items) {
    return [=](HostLibrary& lib) {
        int ids[1] = {31}, indexes[1] = {0}, values[1] = {0}, size = 1;
        int* i = which == NullIDs ? nullptr : ids;
        int* x = which == NullIndexes ? nullptr : indexes;
        int* v = which == NullValues ? nullptr : values;
        int* s = which == NullSize ? nullptr : &size;
        return setCall ? lib.setDataKomplex(kFlightBoard, i, x, items, v, s)
                       : lib.getDataKomplex(kFlightBoard, i, x, items, v, s);
    };
}

// Calls whose result does not depend on the library's state.
std::vector<HostCase> stateFreeCases() {
    return {
        {"getDataRaw with every pointer null", [](HostLibrary& l) { return l.getDataRaw(5, 1, nullptr, nullptr, 0); }, RAW},
        {"waitForData into null", [](HostLibrary& l) { return l.waitForData(2, 3, nullptr); }, BUFFER},
        {"waitForDataValue into null", [](HostLibrary& l) { return l.waitForDataValue(2, 3, nullptr, 7); }, BUFFER},
        {"waitForData with products that wrap",
         [](HostLibrary& l) {
             int v = 0;
             const int r = l.waitForData(INT_MAX, INT_MAX, &v);
             EXPECT_EQ(4, v);  // (2^31 - 1)^2 * 4 mod 2^32
             return r;
         },
         OK},
        {"getThreadID into null pointers", [](HostLibrary& l) { return l.getThreadID(nullptr, nullptr); }, OK},
        {"readBegin", [](HostLibrary& l) { return l.readBegin(); }, OK},
        {"readEnd", [](HostLibrary& l) { return l.readEnd(); }, OK},
    };
}

class HostInput : public ::testing::Test {
protected:
    HostInput() : lib(HostLibrary::load(ORQ_SHARED_LIBRARY)) {}
    void TearDown() override { lib.deinit(); }

    // Starts on `device` and plays a flight board (5), a ground station (6)
    // and a node that never says what it is (7).
    void startWithDevices(Pty& device) {
        ASSERT_EQ(OK, lib.callInit(kOwnID, 0, device.slavePath().c_str()));
        announce(device, kFlightBoard, ORQ::DeviceCode::flightBoard);
        announce(device, kGroundStation, ORQ::DeviceCode::groundStation);
        device.write(smalFrame(DataType::heartbeat.report, kPlaceholder, kOwnID, 0, {1}));
    }

    void announce(Pty& device, int id, uint8_t type) {
        device.write(smalFrame(DataType::heartbeat.report, uint8_t(id), kOwnID, 0, {1}));
        ASSERT_TRUE(device.waitForSequence(smalFrame(DataType::typeRequest, kOwnID, uint8_t(id), 0), kDeadline));
        device.write(smalFrame(DataType::typeReply, uint8_t(id), kOwnID, 0, {type}));
        ASSERT_TRUE(eventually(
            [&] {
                int v = -1;
                return lib.getData(id, 30, &v, 0) == OK && v == type;
            },
            kDeadline));
    }

    HostLibrary& lib;
};

TEST_F(HostInput, CallsBeforeAnyInitGetTheirCodes) {
    if (lib.started()) GTEST_SKIP() << "needs a process in which the library was never started";
    std::vector<HostCase> table = {
        {"deinit before init", [](HostLibrary& l) { return l.deinit(); }, OK},
        {"deinit before init, again", [](HostLibrary& l) { return l.deinit(); }, OK},
        {"getData", read(kFlightBoard, 1, 0), COMPONENT},
        {"getData of the own ID", read(kOwnID, 45, 0), COMPONENT},
        {"setData", set(kFlightBoard, 31, 1, 0), COMPONENT},
        {"getData into null", [](HostLibrary& l) { return l.getData(kFlightBoard, 1, nullptr, 0); }, COMPONENT},
        {"getDataKomplex with null size", batchWithNull(false, NullSize, 1), COMPONENT},
        {"setDataKomplex with null values", batchWithNull(true, NullValues, 1), COMPONENT},
        {"getThreadID gives null handles",
         [](HostLibrary& l) {
             void* a = &l;
             void* b = &l;
             const int r = l.getThreadID(&a, &b);
             EXPECT_EQ(nullptr, a);
             EXPECT_EQ(nullptr, b);
             return r;
         },
         OK},
    };
    for (HostCase& c : stateFreeCases()) table.push_back(c);
    runTable(lib, table);
}

TEST_F(HostInput, DeviceNamesThatCannotBeOpenedFailTheStart) {
    const std::string overLong = "/dev/orq-no-such-device-" + std::string(4000, 'x');
    runTable(lib, {
                      {"null device name", [](HostLibrary& l) { return l.callInit(kOwnID, 0, nullptr); }, START},
                      {"empty device name", [](HostLibrary& l) { return l.callInit(kOwnID, 0, ""); }, START},
                      {"over-long device name",
                       [&](HostLibrary& l) { return l.callInit(kOwnID, 0, overLong.c_str()); }, START},
                      {"a directory", [](HostLibrary& l) { return l.callInit(kOwnID, 0, "/tmp"); }, START},
                      // The objects of a failed start exist but hold no node.
                      {"getData after a failed start", read(kFlightBoard, 1, 0), COMPONENT},
                      {"setData after a failed start", set(kFlightBoard, 31, 1, 0), COMPONENT},
                      {"deinit after a failed start", [](HostLibrary& l) { return l.deinit(); }, OK},
                  });
}

TEST_F(HostInput, InitAndDeinitTwiceLeaveOneCleanInstance) {
    Pty device;
    // A start and stop first, so that threads a runtime creates once (the
    // sanitizers' own) are not counted as the library's.
    ASSERT_EQ(OK, lib.callInit(kOwnID, 0, device.slavePath().c_str()));
    lib.deinit();
    const std::size_t threadsBefore = threadCount();
    runTable(lib, {
                      {"init", [&](HostLibrary& l) { return l.callInit(kOwnID, 0, device.slavePath().c_str()); }, OK},
                      {"init again while running",
                       [&](HostLibrary& l) { return l.callInit(kOwnID, 0, device.slavePath().c_str()); }, OK},
                  });
    // One main loop and one driver (its I/O thread), not two.
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore + 2; }, kDeadline));
    runTable(lib, {
                      {"deinit", [](HostLibrary& l) { return l.deinit(); }, OK},
                      {"deinit again", [](HostLibrary& l) { return l.deinit(); }, OK},
                  });
    EXPECT_TRUE(eventually([&] { return threadCount() == threadsBefore; }, kDeadline));
}

TEST_F(HostInput, DataCallsWithBadArgumentsGetTheirCodes) {
    Pty device;
    ASSERT_NO_FATAL_FAILURE(startWithDevices(device));
    std::vector<HostCase> table = {
        // Component IDs: only the low 8 bits count; 0 is nobody.
        {"component 0", read(0, 1, 0), COMPONENT},
        {"component 256 (low byte 0)", read(256, 1, 0), COMPONENT},
        {"component INT_MIN (low byte 0)", read(INT_MIN, 1, 0), COMPONENT},
        {"component 261 is 5", read(261, 1, 0), OK},
        {"component -251 is 5", read(-251, 1, 0), OK},
        {"component never heard from", read(9, 1, 0), COMPONENT},
        {"component 255", read(255, 1, 0), COMPONENT},
        {"placeholder without a type", read(kPlaceholder, 1, 0), COMPONENT},
        {"set on a placeholder", set(kPlaceholder, 31, 1, 0), COMPONENT},
        // The own ID reads the link statistics and sets nothing.
        {"own ID, receivedMessages", read(kOwnID, 46, 0), OK},
        {"own ID, index ignored", read(kOwnID, 47, INT_MIN), OK},
        {"own ID, unknown statistic", read(kOwnID, 44, 0), DATATYPE},
        {"own ID, set", set(kOwnID, 45, 0, 0), DATATYPE},
        // Flight-board data IDs at and past the table bounds.
        {"read ID 0", read(kFlightBoard, 0, 0), DATATYPE},
        {"read ID -1", read(kFlightBoard, -1, 0), DATATYPE},
        {"read ID 51 (last)", read(kFlightBoard, 51, 0), OK},
        {"read ID 52", read(kFlightBoard, 52, 0), DATATYPE},
        {"read ID INT_MAX", read(kFlightBoard, INT_MAX, 0), DATATYPE},
        {"read ID INT_MIN", read(kFlightBoard, INT_MIN, 0), DATATYPE},
        {"read ID 31 (set only)", read(kFlightBoard, 31, 0), DATATYPE},
        {"set ID 22 (read only)", set(kFlightBoard, 22, 0, 0), DATATYPE},
        {"set ID 54 (last)", set(kFlightBoard, 54, 0, 3), OK},
        {"set ID 55", set(kFlightBoard, 55, 0, 0), DATATYPE},
        {"set ID INT_MIN", set(kFlightBoard, INT_MIN, 0, 0), DATATYPE},
        // Indexes at and past every kind of bound.
        {"single value, index 1", read(kFlightBoard, 1, 1), INDEX},
        {"single value, index -1", read(kFlightBoard, 1, -1), INDEX},
        {"acc, index 0", read(kFlightBoard, 3, 0), OK},
        {"acc, index 1 (accSize 1)", read(kFlightBoard, 3, 1), INDEX},
        {"acc, index INT_MAX", read(kFlightBoard, 3, INT_MAX), INDEX},
        {"acc, index INT_MIN", read(kFlightBoard, 3, INT_MIN), INDEX},
        {"dist, index 3 (last in use)", read(kFlightBoard, 12, 3), OK},
        {"dist, index 4", read(kFlightBoard, 12, 4), INDEX},
        {"debugData, index 20 (last)", read(kFlightBoard, 39, 20), OK},
        {"debugData, index 21", read(kFlightBoard, 39, 21), INDEX},
        {"waypoint, index 89 (last)", read(kFlightBoard, 23, 89), OK},
        {"waypoint, index 90", read(kFlightBoard, 23, 90), INDEX},
        {"waypoint, index 256 (low byte 0)", read(kFlightBoard, 23, 256), INDEX},
        {"set waypoint, index 89", set(kFlightBoard, 23, 1, 89), OK},
        {"set waypoint, index 90", set(kFlightBoard, 23, 1, 90), INDEX},
        {"set pwmOutput, index 4", set(kFlightBoard, 54, 0, 4), INDEX},
        {"set debugData, index -1", set(kFlightBoard, 39, 0, -1), INDEX},
        {"ground station acc, index 1", read(kGroundStation, 3, 1), INDEX},
        {"ground station, read ID 52", read(kGroundStation, 52, 0), DATATYPE},
        // Values a set does not accept.
        {"gpsMode 3", set(kFlightBoard, 32, 3, 0), VALUE},
        {"gpsMode -1", set(kFlightBoard, 32, -1, 0), VALUE},
        {"gpsMode INT_MIN", set(kFlightBoard, 32, INT_MIN, 0), VALUE},
        {"secure command 49 with 2", set(kFlightBoard, 49, 2, 0), VALUE},
        {"gyro calibration with 0", set(kFlightBoard, 33, 0, 0), VALUE},
        // Null pointers.
        {"getData into null", [](HostLibrary& l) { return l.getData(kFlightBoard, 1, nullptr, 0); }, BUFFER},
        {"getDataKomplex, null data IDs", batchWithNull(false, NullIDs, 1), BUFFER},
        {"getDataKomplex, null indexes", batchWithNull(false, NullIndexes, 1), BUFFER},
        {"getDataKomplex, null values", batchWithNull(false, NullValues, 1), BUFFER},
        {"getDataKomplex, null size", batchWithNull(false, NullSize, 1), BUFFER},
        {"setDataKomplex, null data IDs", batchWithNull(true, NullIDs, 1), BUFFER},
        {"setDataKomplex, null values", batchWithNull(true, NullValues, 1), BUFFER},
        {"setDataKomplex, null size", batchWithNull(true, NullSize, 1), BUFFER},
        {"no items, null arrays", batchWithNull(false, NullValues, 0), OK},
        // Counts: items and slots negative, zero, too few, huge.
        {"3 items, 3 slots", batch(3, 3, 3), OK},
        {"3 items, 5 slots", batch(3, 5, 3), OK},
        {"3 items, 2 slots", batch(3, 2, 2), BUFFER},
        {"1 item, 0 slots", batch(1, 0, 0), BUFFER},
        {"1 item, -1 slots", batch(1, -1, -1), BUFFER},
        {"1 item, INT_MIN slots", batch(1, INT_MIN, INT_MIN), BUFFER},
        {"0 items", batch(0, 3, 0), OK},
        {"-5 items", batch(-5, 3, 0), OK},
        {"INT_MIN items", batch(INT_MIN, 3, 0), OK},
        // A huge item count stops at the first item without a slot: the
        // arrays are read no further than the slots the host gave.
        {"INT_MAX items, 3 slots", batch(INT_MAX, 3, 3), BUFFER},
    };
    for (HostCase& c : stateFreeCases()) table.push_back(c);
    runTable(lib, table);
}

TEST_F(HostInput, DataCallsAfterDeinitStillAnswerFromTheLastStart) {
    Pty device;
    ASSERT_NO_FATAL_FAILURE(startWithDevices(device));
    ASSERT_EQ(OK, lib.deinit());
    runTable(lib, {
                      {"read the flight board's type",
                       [](HostLibrary& l) {
                           int v = 0;
                           const int r = l.getData(kFlightBoard, 30, &v, 0);
                           EXPECT_EQ(1, v);
                           return r;
                       },
                       OK},
                      {"set refused: no link carries it", set(kFlightBoard, 31, 1, 0), COMPONENT},
                      {"bad index still refused", read(kFlightBoard, 3, 1), INDEX},
                      {"unknown node", read(9, 1, 0), COMPONENT},
                      {"own ID statistics", read(kOwnID, 46, 0), OK},
                      {"deinit again", [](HostLibrary& l) { return l.deinit(); }, OK},
                  });
}

}  // namespace
