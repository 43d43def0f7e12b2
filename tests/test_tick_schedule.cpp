// The main loop's schedule: after each tick the manager says how long the
// loop may sleep before the next tick has work (a type request, the oldest
// component passing the age limit, a clean-up to retry, an auto-mode link to
// poll), and a component that joins or is retired wakes the loop. All on a
// driven manager clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "node/Component.h"
#include "routing/ComponentRef.h"
#include "models/ComponentQRNClient.h"
#include "models/ComponentVKRClient.h"
#include "FakeUart.h"
#include "ManagerHarness.h"
#include "wire/MessageQueue.h"
#include "TestMessages.h"
#include "routing/WorldModel.h"

namespace {

using ORQ::Component;
using ORQ::Message;
using ORQ::test::makeMessage;
using Bytes = std::vector<uint8_t>;

const uint32_t nothingDue = Component::nothingDue;
// The pace of the main loop before it slept between due times.
const uint32_t oldPaceMs = 10;
const uint8_t myID = 1;
const uint8_t nodeID = 7;

class TickSchedule : public ::testing::Test {
protected:
    TickSchedule() : link(myID), wm(*link.mm.getWorldModel()) {
        link.observeAndAutoAdd();
        link.mm.setWakeMainLoop([this] { ++wakes; });
    }

    void hear(uint8_t type, const Bytes& payload, uint8_t sender = nodeID) {
        Message m = makeMessage(type, sender, myID, 0, payload);
        link.receive(m);
    }
    // One tick, quiet; what the manager says is due next.
    uint32_t tick(uint32_t time) {
        ::testing::internal::CaptureStdout();
        const uint32_t due = link.mm.run(time);
        ::testing::internal::GetCapturedStdout();
        return due;
    }

    ORQ::test::ManagerHarness link;
    ORQ::WorldModel& wm;
    int wakes = 0;
};

TEST_F(TickSchedule, NothingKnownIsNothingDue) {
    EXPECT_EQ(tick(0), nothingDue);
    EXPECT_EQ(tick(50000), nothingDue);
    EXPECT_EQ(wakes, 0);
}

// The request is due 1000 ms after the placeholder joined, counted from its
// joining, not from the tick before it; then 1000 ms after each request.
struct RequestCase {
    const char* name;
    uint32_t joinedAt;
    uint32_t tickAt;
    uint32_t due;
};

class TickScheduleRequest : public TickSchedule, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(TickScheduleRequest, NextTypeRequestIsDueASecondAfterJoining) {
    const RequestCase& c = GetParam();
    tick(c.joinedAt);
    hear(54, {0});
    EXPECT_EQ(wakes, 1);  // the new placeholder wakes the loop
    EXPECT_EQ(wm.msUntilDue(), 0u);  // its tick comes at once
    EXPECT_EQ(tick(c.tickAt), c.due);
    EXPECT_EQ(link.queued(), 0);
}

INSTANTIATE_TEST_SUITE_P(Joins, TickScheduleRequest,
                         ::testing::Values(RequestCase{"RightAfterATick", 0, 10, 990},
                                           RequestCase{"SomeTicksLater", 500, 800, 700},
                                           RequestCase{"AtTheTickItself", 300, 300, 1000},
                                           RequestCase{"AcrossTheClockWrap", 0xFFFFFF00u, 0x10, 728}),
                         [](const ::testing::TestParamInfo<RequestCase>& i) { return std::string(i.param.name); });

TEST_F(TickSchedule, AfterARequestTheNextIsDueASecondLater) {
    tick(0);
    hear(54, {0});
    EXPECT_EQ(tick(1000), 1000u);
    EXPECT_EQ(link.queued(), 1);
    link.drain();
    EXPECT_EQ(tick(1700), 300u);
    EXPECT_EQ(tick(2000), 1000u);
    EXPECT_EQ(link.queued(), 1);
}

TEST_F(TickSchedule, ARequestWaitingForItsTurnIsTriedAtTheOldPace) {
    // More than half the queue taken: the pacer lets no request through.
    for (uint8_t i = 0; i < ORQ::MessageQueue::maxElements / 2 + 1; ++i) {
        Message m = makeMessage(static_cast<uint8_t>(100 + i), myID, 9, 0, {i});
        ASSERT_TRUE(link.mm.send(&m));
    }
    tick(0);
    hear(54, {0});
    EXPECT_EQ(tick(1000), oldPaceMs);
    link.drain();
    EXPECT_EQ(tick(1010), 1000u);  // asked now
    EXPECT_EQ(link.queued(), 1);
}

// A typed model has no timed work: only its age limit is ever due.
TEST_F(TickSchedule, ATypedModelIsDueOnlyWhenItCouldPassTheAgeLimit) {
    tick(1000);
    wm.addComponent(new ORQ::ComponentVKRClient(9));
    wm.addComponent(new ORQ::ComponentQRNClient(10));
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(wm.getComponent(9)->msUntilDue(1000), nothingDue);
    EXPECT_EQ(wm.getComponent(10)->msUntilDue(1000), nothingDue);

    EXPECT_EQ(tick(1010), 300000u - 10u + 1u);
    hear(54, {0}, 9);  // board 9 reports at 1010: only 10 can age out first
    EXPECT_EQ(tick(301000), 1u);
    EXPECT_NE(wm.getComponent(10), nullptr);
    ::testing::internal::CaptureStdout();
    const uint32_t due = link.mm.run(301001);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[WorldModel] deleteOldComponents id 10\n");
    EXPECT_EQ(wm.getComponent(10), nullptr);
    EXPECT_EQ(due, 10u);  // board 9, updated at 1010, passes the limit at 301011
    EXPECT_EQ(tick(301011), nothingDue);
    EXPECT_EQ(wm.getComponent(9), nullptr);
}

TEST_F(TickSchedule, TypeReplyWakesTheLoopForTheRetiredPlaceholder) {
    tick(0);
    hear(54, {0});
    tick(1000);
    link.drain();
    wakes = 0;
    hear(4, {1});
    // Once, when the reply's handling gave the retired placeholder back: a
    // tick while it was still in use would have had to leave it.
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(wm.msUntilDue(), 0u);
    ::testing::internal::CaptureStdout();
    const uint32_t due = link.mm.run(1200);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[WorldModel] deleteOldComponents id 0\n");
    EXPECT_EQ(due, 300000u - 200u + 1u);  // the typed model joined at 1000
}

TEST_F(TickSchedule, ACleanUpThatMustLeaveAComponentRetriesAtTheOldPace) {
    tick(0);
    wm.addComponent(new Component(5));
    {
        const ORQ::ComponentRef use = wm.acquireComponent(5);
        EXPECT_EQ(tick(400000), oldPaceMs);
    }
    EXPECT_EQ(tick(400010), nothingDue);
    EXPECT_EQ(wm.getComponent(5), nullptr);
}

TEST(TickScheduleAutoMode, AnAutoModeLinkIsPolledAtTheOldPace) {
    ORQ::test::FakeUart uart;
    ORQ::MessageSystem system(&uart);
    ORQ::MessageManager mm;
    mm.addMessageSystem(&system);
    EXPECT_EQ(mm.run(0), oldPaceMs);
    system.next = nullptr;  // the system belongs to the test
}

}  // namespace
