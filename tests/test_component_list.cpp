// The host's node list: every node of the world model once, with its type
// code or -1 while its type is unknown; every device kind's model, as its
// factory builds it, listed with the kind's code and reached by the data
// calls; the slot rules of the data calls (-66 with the count needed, null
// pointers, no init), and the list through the shared library on a simulated
// line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>
#include <utility>

#include "node/Component.h"
#include "models/ComponentQRNClient.h"
#include "models/ComponentVKRClient.h"
#include "DataTypes.h"
#include "datamaps/DeviceKind.h"
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

const int untouched = 0x5A5A5A5A;
using Nodes = std::set<std::pair<int, int>>;  // (ID, type code)

// A started library's manager with a flight board (1), a ground station (7)
// and a sender still waiting for its type (42).
class ComponentList : public ::testing::Test {
protected:
    static constexpr uint8_t ownID = 200;

    ComponentList() {
        mm.setObserve(1);
        mm.setAutoAddNewComponents(1);
        mm.setComponentFactory(&ORQ::makeDeviceModel);
        mm.addMessageSystem(&ms);
        mm.setMyID(ownID);
        mm.getWorldModel()->addComponent(new ORQ::ComponentVKRClient(1));
        mm.getWorldModel()->addComponent(new ORQ::ComponentQRNClient(7));
        ORQ::Message m = ORQ::test::makeMessage(54, 42, ownID, 0, {0});
        mm.procMessage(&m, &ms);  // creates the placeholder
    }

    // The list taken with `slots` slots; the slot after them must stay untouched.
    Nodes list(int slots, int expectedResult = ERROR_NO) {
        int ids[16], types[16];
        std::fill(ids, ids + 16, untouched);
        std::fill(types, types + 16, untouched);
        int size = slots;
        EXPECT_EQ(expectedResult, host.getComponents(ids, types, &size));
        EXPECT_EQ(untouched, ids[slots]);
        EXPECT_EQ(untouched, types[slots]);
        listed = size;
        Nodes nodes;
        for (int i = 0; i < std::min(size, slots); ++i) nodes.insert({ids[i], types[i]});
        return nodes;
    }

    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    ORQ::test::HostCalls host{mm, ms};
    int listed = 0;  // *size after the last list()
};

TEST_F(ComponentList, ListsEveryNodeWithItsTypeCode) {
    EXPECT_EQ((Nodes{{1, 1}, {7, 0}, {42, -1}}), list(8));
    EXPECT_EQ(3, listed);
}

TEST_F(ComponentList, TooFewSlotsFillWhatFitsAndAskForTheCountNeeded) {
    EXPECT_EQ(2u, list(2, ERROR_BUFFER_TOO_SMAL).size());
    EXPECT_EQ(3, listed);
    EXPECT_TRUE(list(0, ERROR_BUFFER_TOO_SMAL).empty());
    EXPECT_EQ(3, listed);
    int size = 0;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getComponents(nullptr, nullptr, &size));
    EXPECT_EQ(3, size);
    size = -4;  // no slots
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getComponents(nullptr, nullptr, &size));
    EXPECT_EQ(3, size);
}

TEST_F(ComponentList, NullPointersAreNoSlotBuffer) {
    int ids[4], types[4], size = 4;
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getComponents(ids, types, nullptr));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getComponents(nullptr, types, &size));
    EXPECT_EQ(ERROR_BUFFER_TOO_SMAL, host.getComponents(ids, nullptr, &size));
    EXPECT_EQ(4, size);
}

TEST_F(ComponentList, AWaitEndsOnlyForATypedNode) {
    EXPECT_EQ(ERROR_NO, host.waitForComponent(1, 0));
    EXPECT_EQ(ERROR_NO, host.waitForComponent(7, 0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.waitForComponent(42, 50)) << "a sender still waiting for its type";
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.waitForComponent(9, 0));
    for (const auto& bad : {std::make_pair(0, 0), {256, 0}, {-1, 10}, {1, -1}}) {
        EXPECT_EQ(ERROR_INVALID_VALUE, host.waitForComponent(bad.first, bad.second))
            << "id " << bad.first << " timeout " << bad.second;
    }
}

TEST_F(ComponentList, ANodeBeingTypedIsListedOnceAndARetiredOneNotAtAll) {
    // Type discovery adds the typed model before it retires the placeholder:
    // for a moment both carry the ID.
    ORQ::Component* placeholder = mm.getWorldModel()->getComponent(42);
    mm.getWorldModel()->addComponent(new ORQ::ComponentVKRClient(42));
    EXPECT_EQ((Nodes{{1, 1}, {7, 0}, {42, 1}}), list(8));
    EXPECT_EQ(3, listed);
    placeholder->ID = 0;
    EXPECT_EQ((Nodes{{1, 1}, {7, 0}, {42, 1}}), list(8));
    EXPECT_EQ(3, listed);
}

// For every type code: a kind's model, as discovery builds it, carries the
// kind's code in its type and is its kind's model, so the node list reports
// the code and the data calls reach the kind's map (an ID no map has is the
// map's answer); a plain component carrying the same code is listed -1 and
// refused. A code without a kind builds nothing and its components are refused
// as of an unsupported type.
Nodes listOf(ORQ::test::HostCalls& host) {
    int ids[4], types[4], size = 4;
    EXPECT_EQ(ERROR_NO, host.getComponents(ids, types, &size));
    Nodes nodes;
    for (int i = 0; i < std::min(size, 4); ++i) nodes.insert({ids[i], types[i]});
    return nodes;
}

TEST(DeviceKinds, EachCodesModelIsListedWithItsCodeAndReachesItsMap) {
    ORQ::MessageSystem ms;
    ORQ::MessageManager mm;
    mm.addMessageSystem(&ms);
    mm.setMyID(255);
    ORQ::test::HostCalls host{mm, ms};
    const uint8_t modelID = 1, plainID = 2;
    std::set<int> kinds;
    for (int code = 0; code <= 255; ++code) {
        const DeviceKind* kind = DeviceKind::of(static_cast<uint8_t>(code));
        ORQ::Component* model = ORQ::makeDeviceModel(modelID, static_cast<uint8_t>(code));
        ORQ::Component* plain = new ORQ::Component(plainID);
        plain->type = static_cast<uint8_t>(code);
        mm.getWorldModel()->addComponent(plain);
        int value = untouched;
        if (kind == nullptr) {
            EXPECT_EQ(nullptr, model) << code;
            delete model;
            EXPECT_EQ(ERROR_COMPONENTTYPE_NOT_SUPPORTED, host.getData(plainID, 1, &value, 0)) << code;
            EXPECT_EQ((Nodes{{plainID, -1}}), listOf(host)) << code;
        } else {
            kinds.insert(code);
            ASSERT_NE(nullptr, model) << code;
            EXPECT_EQ(code, model->type);
            EXPECT_TRUE(kind->models(*model)) << code;
            EXPECT_FALSE(kind->models(*plain)) << code;
            mm.getWorldModel()->addComponent(model);
            EXPECT_EQ((Nodes{{modelID, code}, {plainID, -1}}), listOf(host)) << code;
            EXPECT_EQ(ERROR_DATATYPE_NOT_SUPPORTED, host.getData(modelID, -1, &value, 0)) << code;
            EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, host.getData(plainID, -1, &value, 0)) << code;
            model->ID = 0;  // retired: no longer a node
        }
        EXPECT_EQ(untouched, value) << code;
        plain->ID = 0;
    }
    EXPECT_EQ(1u, kinds.count(ORQ::DeviceCode::groundStation));
    EXPECT_EQ(1u, kinds.count(ORQ::DeviceCode::flightBoard));
}

TEST(ComponentListBeforeInit, IsNotSupportedAndTouchesNothing) {
    ASSERT_EQ(nullptr, Library::current()) << "nothing in this program calls init in-process";
    EXPECT_EQ(ERROR_START_DLL, waitForComponent(1, 1000)) << "nothing runs that could type a node";
    int ids[1] = {untouched}, types[1] = {untouched}, size = 1;
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, getComponents(ids, types, &size));
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, getComponents(nullptr, nullptr, nullptr));
    EXPECT_EQ(1, size);
    EXPECT_EQ(untouched, ids[0]);
    EXPECT_EQ(untouched, types[0]);
}

// The host's view: liborq.so loaded by path lists the simulated devices.
TEST(ComponentListHostPath, ListsTheDevicesOnASimulatedLine) {
    using namespace std::chrono_literals;
    ORQ::test::HostLibrary& lib = ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY);
    ORQSim::Simulator sim;
    ASSERT_TRUE(sim.openPty());
    ASSERT_TRUE(sim.addDevice(5, ORQSim::SimDevice::FlightBoard));
    ASSERT_TRUE(sim.addDevice(6, ORQSim::SimDevice::GroundStation));
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(ERROR_NO, lib.callInit(1, 0, sim.path().c_str()));

    Nodes nodes;
    EXPECT_TRUE(ORQ::test::eventually(
        [&] {
            int ids[8], types[8], size = 8;
            if (lib.getComponents(ids, types, &size) != ERROR_NO) return false;
            nodes.clear();
            for (int i = 0; i < size; ++i) nodes.insert({ids[i], types[i]});
            return nodes == Nodes{{5, 1}, {6, 0}};
        },
        30s));
    EXPECT_EQ((Nodes{{5, 1}, {6, 0}}), nodes);
    EXPECT_EQ(ERROR_NO, lib.deinit());
    sim.stop();
}

// A host that sets right after init: the wait ends once the node is typed,
// and the set that follows is taken at once. A deinit ends a wait at once.
TEST(ComponentListHostPath, ASetRightAfterInitWaitsForItsNode) {
    using namespace std::chrono_literals;
    ORQ::test::HostLibrary& lib = ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY);
    ORQSim::Simulator sim;
    ASSERT_TRUE(sim.openPty());
    ASSERT_TRUE(sim.addDevice(5, ORQSim::SimDevice::FlightBoard));
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(ERROR_NO, lib.callInit(1, 0, sim.path().c_str()));

    ASSERT_EQ(ERROR_NO, lib.waitForComponent(5, 30000));
    EXPECT_EQ(ERROR_NO, lib.setData(5, 32, 2, 0));
    EXPECT_EQ(ERROR_COMPONENT_NOT_SUPPORTED, lib.waitForComponent(9, 100)) << "no such node on the line";

    std::thread deinit([&] {
        std::this_thread::sleep_for(200ms);
        lib.deinit();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_START_DLL, lib.waitForComponent(9, 60000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "the deinit ends the wait, not its timeout";
    deinit.join();
    EXPECT_EQ(ERROR_START_DLL, lib.waitForComponent(5, 0)) << "after deinit";
    sim.stop();
}

}  // namespace
