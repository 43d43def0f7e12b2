// Message manager: routing of received messages (ego, world model,
// placeholders, forwarding), sending, the manager clock and its ticks.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <typeinfo>
#include <utility>
#include <vector>

#include "node/Component.h"
#include "FakeUart.h"
#include "routing/MessageDebugger.h"
#include "routing/MessageHandlerTypeClient.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "RecordingHandler.h"
#include "TestMessages.h"
#include "WireFrames.h"
#include "routing/WorldModel.h"

using ORQ::Component;
using ORQ::Message;
using ORQ::MessageManager;
using ORQ::MessageSystem;
using ORQ::test::makeMessage;
using ORQ::test::RecordingHandler;

namespace {

// A manager connected to two links: A registered first, B last (B sends).
class ManagerTest : public ::testing::Test {
protected:
    ManagerTest() {
        mm.addMessageSystem(&a);
        mm.addMessageSystem(&b);
        mm.setObserve(1);
        mm.setAutoAddNewComponents(1);
        mm.setMyID(1);
    }
    ~ManagerTest() override { b.next = nullptr; }  // both systems belong to the fixture

    // Routes a message as if received on `from`; returns what was written.
    std::string receive(MessageSystem* from, Message* m) {
        ::testing::internal::CaptureStdout();
        mm.procMessage(m, from);
        return ::testing::internal::GetCapturedStdout();
    }
    int queued(MessageSystem& s) { return s.getMessageQueue()->getElementCount(); }
    std::vector<Component*> components() {
        std::vector<Component*> all;
        wm.forEach([&](Component& c) { all.push_back(&c); });
        return all;
    }
    int componentCount() { return static_cast<int>(components().size()); }

    MessageSystem a, b;
    MessageManager mm;
    ORQ::WorldModel& wm = *mm.getWorldModel();
};

// Routing table: ego 9 (when present); components 5 and 9 known in the world
// model; 7 is a sender never heard before.
struct RouteCase {
    const char* name;
    bool ego;
    bool observe;
    bool autoAdd;
    uint8_t sender;
    uint8_t receiver;
    size_t egoGets;
    size_t known5Gets;
    size_t known9Gets;
    int components;  // in the world model afterwards
    bool forwarded;  // queued on B
};

class ManagerRouting : public ManagerTest, public ::testing::WithParamInterface<RouteCase> {
protected:
    ManagerRouting() {
        mm.setObserve(GetParam().observe);
        mm.setAutoAddNewComponents(GetParam().autoAdd);
        for (auto& known : {std::make_pair(5, &known5), std::make_pair(9, &known9)}) {
            auto* c = new Component(static_cast<uint8_t>(known.first));
            c->addMessageHandler(known.second);
            wm.addComponent(c);
        }
        ego.addMessageHandler(&egoHandler);
        if (GetParam().ego) mm.setEgo(&ego);
    }
    RecordingHandler known5, known9, egoHandler;
    Component ego{9};
};

TEST_P(ManagerRouting, DeliversToTheRightComponentAndForwardsToOtherLinks) {
    const RouteCase& p = GetParam();
    receive(&a, makeMessage(20, p.sender, p.receiver).get());

    EXPECT_EQ(egoHandler.offeredSenders.size(), p.egoGets);
    EXPECT_EQ(known5.offeredSenders.size(), p.known5Gets);
    EXPECT_EQ(known9.offeredSenders.size(), p.known9Gets);
    EXPECT_EQ(componentCount(), p.components);
    EXPECT_EQ(queued(b), p.forwarded ? 1 : 0);
    EXPECT_EQ(queued(a), 0);  // never back onto the link it came from
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManagerRouting,
    ::testing::Values(
        // name                          ego    obs    add    from to  ego k5 k9 comps fwd
        RouteCase{"ToEgoGoesOnlyToEgo", true, true, true, 5, 9, 1, 0, 0, 2, false},
        RouteCase{"ToEgoFromNewSenderAddsNothing", true, true, true, 7, 9, 1, 0, 0, 2, false},
        RouteCase{"FromEgoIdGoesTheWorldModelWay", true, true, true, 9, 1, 0, 0, 1, 2, true},
        RouteCase{"WithoutEgoReceiverIsNotLookedAt", false, true, true, 5, 9, 0, 1, 0, 2, true},
        RouteCase{"KnownSenderReachesItsComponent", false, true, true, 5, 1, 0, 1, 0, 2, true},
        RouteCase{"ObserveOffReachesNobody", false, false, true, 5, 1, 0, 0, 0, 2, true},
        RouteCase{"ObserveOffAddsNoPlaceholder", false, false, true, 7, 1, 0, 0, 0, 2, true},
        RouteCase{"NewSenderGetsAPlaceholder", false, true, true, 7, 1, 0, 0, 0, 3, true},
        RouteCase{"NewSenderWithoutAutoAdd", false, true, false, 7, 1, 0, 0, 0, 2, true},
        RouteCase{"SenderZeroNeverGetsAPlaceholder", false, true, true, 0, 1, 0, 0, 0, 2, true}),
    [](const ::testing::TestParamInfo<RouteCase>& p) { return std::string(p.param.name); });

TEST_F(ManagerTest, NewSenderGetsAPlaceholderAskingForItsType) {
    mm.run(1234);
    EXPECT_EQ(receive(&a, makeMessage(20, 7, 1).get()), "[MessageManager] autoAdd id 7\n");

    Component* placeholder = wm.getComponent(7);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(typeid(*placeholder), typeid(Component));
    EXPECT_EQ(placeholder->type, 0);
    EXPECT_EQ(placeholder->getUpdateTime(), 0u);
    EXPECT_EQ(placeholder->recvMessageCounter, 0);  // the first message is not offered to it
    auto* typeClient = dynamic_cast<ORQ::MessageHandlerTypeClient*>(placeholder->mh);
    ASSERT_NE(typeClient, nullptr);
    EXPECT_EQ(typeClient->next, nullptr);
    EXPECT_EQ(typeClient->component, placeholder);
}

TEST_F(ManagerTest, SecondMessageFromANewSenderGoesToItsPlaceholder) {
    receive(&a, makeMessage(20, 7, 1).get());
    EXPECT_EQ(receive(&a, makeMessage(20, 7, 1).get()), "");
    EXPECT_EQ(componentCount(), 1);
    EXPECT_EQ(wm.getComponent(7)->recvMessageCounter, 1);
}

class RecordingDebugger : public ORQ::MessageDebugger {
public:
    void procMessage(Message* m, MessageSystem* ms) override { seen.emplace_back(m->dataType, ms); }
    std::vector<std::pair<uint8_t, MessageSystem*>> seen;
};

TEST_F(ManagerTest, DebuggerSeesEveryRoutedMessage) {
    RecordingDebugger debugger;
    mm.setMessageDebugger(&debugger);
    Component ego(9);
    mm.setEgo(&ego);

    receive(&a, makeMessage(20, 5, 9).get());  // to the ego
    receive(&a, makeMessage(21, 7, 1).get());  // new sender
    receive(&a, makeMessage(22, 0, 1).get());  // from nobody
    mm.procMessage(makeMessage(23, 7, 1).get(), &b);
    mm.setObserve(0);
    receive(&a, makeMessage(24, 5, 1).get());

    using Seen = std::pair<uint8_t, MessageSystem*>;
    EXPECT_EQ(debugger.seen,
              (std::vector<Seen>{{20, &a}, {21, &a}, {22, &a}, {23, &b}, {24, &a}}));
}

TEST_F(ManagerTest, SendUsesOnlyTheSystemRegisteredLast) {
    auto m = makeMessage(31, 1, 5, {2});
    mm.send(m.get());
    EXPECT_EQ(queued(b), 1);
    EXPECT_EQ(queued(a), 0);
    EXPECT_EQ(mm.getMessageSystems(), &b);
    EXPECT_EQ(b.next, &a);
}

TEST_F(ManagerTest, MessageReceivedOnBIsForwardedToA) {
    mm.procMessage(makeMessage(20, 5, 1).get(), &b);
    EXPECT_EQ(queued(a), 1);
    EXPECT_EQ(queued(b), 0);
}

TEST(ManagerWithoutLinks, SendWithNoSystemIsDropped) {
    MessageManager mm;
    mm.send(makeMessage(31, 1, 5).get());  // nothing to check but that it is harmless
    EXPECT_EQ(mm.getMessageSystems(), nullptr);
}

TEST(ManagerIdentity, MyIDUntilAnEgoIsSet) {
    MessageManager mm;
    EXPECT_EQ(mm.getMyID(), 0);
    mm.setMyID(3);
    EXPECT_EQ(mm.getMyID(), 3);

    mm.run(5000);
    Component ego(9);
    mm.setEgo(&ego);
    EXPECT_EQ(mm.getMyID(), 9);
    EXPECT_EQ(ego.mm, &mm);
    EXPECT_EQ(ego.getUpdateTime(), 0u);
    int listed = 0;
    mm.getWorldModel()->forEach([&](Component&) { ++listed; });
    EXPECT_EQ(listed, 0);  // the ego is not in the world model
}

TEST(ManagerUpdateFlag, HasUpdateReportsOnceThenClears) {
    MessageManager mm;
    EXPECT_EQ(mm.hasUpdate(), 0);
    mm.setUpdate(5);
    EXPECT_EQ(mm.hasUpdate(), 1);
    EXPECT_EQ(mm.hasUpdate(), 0);
}

// On a followed clock, the thread that opened a receive batch reads the
// batch's time while it lives, so every report of one read is stamped with
// the time it was read; other threads, and the thread after the batch, read
// the clock.
TEST(ManagerClock, AReceiveBatchStampsItsReportsWithTheTimeOfTheRead) {
    using std::chrono::milliseconds;
    MessageManager mm;
    mm.followClock(std::chrono::steady_clock::now() - std::chrono::seconds(100));
    Component c(5);
    c.setMessageManager(&mm);
    uint32_t readAt = 0;
    {
        const MessageManager::ReceiveBatch batch(mm);
        readAt = mm.getTime();
        EXPECT_GE(readAt, 100000u);
        std::this_thread::sleep_for(milliseconds(30));
        c.setUpdate();
        EXPECT_EQ(mm.getTime(), readAt);
        uint32_t elsewhere = 0;
        std::thread([&] { elsewhere = mm.getTime(); }).join();
        EXPECT_GE(elsewhere, readAt + 30);
        {
            MessageManager driven;  // its time is what run() gave it: no batch of its own
            driven.run(7);
            const MessageManager::ReceiveBatch inner(driven);
            EXPECT_EQ(driven.getTime(), 7u);
            EXPECT_EQ(mm.getTime(), readAt);
        }
        EXPECT_EQ(mm.getTime(), readAt);
    }
    EXPECT_EQ(c.updateTime, readAt);
    EXPECT_GE(c.getUpdateTime(), 30u);
}

// Each setter changes its own bit and keeps the others.
struct SwitchCase {
    const char* name;
    void (MessageManager::*set)(uint8_t);
    std::vector<int> bitsAfterClearing;  // observe, autoAdd, route, broadcast
};

class ManagerSettings : public ::testing::TestWithParam<SwitchCase> {
protected:
    static std::vector<int> bits(const ORQ::Settings& s) {
        return {int(s.observe), int(s.autoAddNewComponents), int(s.route), int(s.broadcast)};
    }
};

TEST_P(ManagerSettings, SetterChangesOnlyItsBit) {
    MessageManager mm;
    EXPECT_EQ(bits(mm.getSettings()), (std::vector<int>{0, 0, 0, 0}));
    for (auto set : {&MessageManager::setObserve, &MessageManager::setAutoAddNewComponents,
                     &MessageManager::setRoute, &MessageManager::setBroadcast})
        (mm.*set)(7);  // any nonzero value sets
    EXPECT_EQ(bits(mm.getSettings()), (std::vector<int>{1, 1, 1, 1}));
    (mm.*GetParam().set)(0);
    EXPECT_EQ(bits(mm.getSettings()), GetParam().bitsAfterClearing);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ManagerSettings,
    ::testing::Values(SwitchCase{"Observe", &MessageManager::setObserve, {0, 1, 1, 1}},
                      SwitchCase{"AutoAdd", &MessageManager::setAutoAddNewComponents, {1, 0, 1, 1}},
                      SwitchCase{"Route", &MessageManager::setRoute, {1, 1, 0, 1}},
                      SwitchCase{"Broadcast", &MessageManager::setBroadcast, {1, 1, 1, 0}}),
    [](const ::testing::TestParamInfo<SwitchCase>& p) { return std::string(p.param.name); });

// The tick length handed to the ego and the world model.
struct TickCase {
    const char* name;
    std::vector<uint32_t> times;
    std::vector<uint16_t> diffs;
};

class ManagerTicks : public ::testing::TestWithParam<TickCase> {};

TEST_P(ManagerTicks, PassTheLow16BitsOfTheDistanceToThePreviousTick) {
    MessageManager mm;
    RecordingHandler h;
    Component ego(9);
    ego.addMessageHandler(&h);
    mm.setEgo(&ego);
    for (uint32_t t : GetParam().times) mm.run(t);
    EXPECT_EQ(h.timeDiffs, GetParam().diffs);
    EXPECT_EQ(mm.getTime(), GetParam().times.back());
    EXPECT_EQ(mm.getWorldModel()->getTime(), GetParam().times.back());
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, ManagerTicks,
    ::testing::Values(TickCase{"FirstTickMeasuresFromZero", {1000}, {1000}},
                      TickCase{"RegularTicks", {10, 20, 35}, {10, 10, 15}},
                      TickCase{"FarApartGiveDistanceMod65536", {0, 70000}, {0, 4464}},
                      TickCase{"ExactlyOneWrapOf16Bits", {100, 65636}, {100, 0}},
                      TickCase{"ManagerTimeWrapping", {0xFFFFFFF0u, 0x10}, {0xFFF0, 0x20}}),
    [](const ::testing::TestParamInfo<TickCase>& p) { return std::string(p.param.name); });

TEST_F(ManagerTest, WorldModelComponentsRunWithTheTickLength) {
    RecordingHandler h;
    auto* c = new Component(5);
    c->addMessageHandler(&h);
    wm.addComponent(c);
    mm.run(1000);
    mm.run(1010);
    EXPECT_EQ(h.timeDiffs, (std::vector<uint16_t>{1000, 10}));
}

TEST(ManagerAutoLink, TickReadsAnAutoModeLinkAndRoutesWhatArrived) {
    ORQ::test::FakeUart uart;
    MessageSystem link(&uart);
    MessageManager mm;
    mm.addMessageSystem(&link);
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
    // Small layout: type 6 from 5 to 1, channel 0, no payload, check byte.
    uart.addReceived(ORQ::test::frameLayout({0x03, 0x06, 0x05, 0x01, 0x00, 0x03 ^ 0x06 ^ 0x05 ^ 0x01}));

    ::testing::internal::CaptureStdout();
    mm.run(10);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[MessageManager] autoAdd id 5\n"), std::string::npos);
    EXPECT_NE(mm.getWorldModel()->getComponent(5), nullptr);
}

// The whole life of a new node: placeholder, type request, reply, typed
// model. Routing needs no device model: the typed components come from a
// fake factory (code 2 and above: none).
struct DiscoveryCase {
    const char* name;
    uint8_t reply;
    uint8_t type;
    bool withFactory;
};

std::vector<std::pair<uint8_t, uint8_t>> built;  // (id, code) of each factory call

Component* fakeModel(uint8_t id, uint8_t code) {
    built.emplace_back(id, code);
    if (code > 1) return nullptr;
    auto* c = new Component(id);
    c->type = code;
    return c;
}

class ManagerDiscovery : public ManagerTest, public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(ManagerDiscovery, TypeReplyReplacesThePlaceholderByTheTypedModel) {
    built.clear();
    if (GetParam().withFactory) mm.setComponentFactory(&fakeModel);
    mm.run(0);
    receive(&b, makeMessage(20, 7, 1).get());  // forwarded to A: B holds only what we send
    ::testing::internal::CaptureStdout();
    for (uint32_t t = 10; t <= 1000; t += 10) mm.run(t);
    ::testing::internal::GetCapturedStdout();

    ASSERT_EQ(queued(b), 1);  // the type request, on the sending link
    Message* request = b.getMessageQueue()->getFirstMessage();
    EXPECT_EQ(request->dataType, 3);
    EXPECT_EQ(request->senderID, 1);
    EXPECT_EQ(request->receiverID, 7);
    EXPECT_EQ(request->dataSize, 0);
    b.getMessageQueue()->deleteFirst();

    Component* placeholder = wm.getComponent(7);
    receive(&b, makeMessage(4, 7, 1, {GetParam().reply}).get());
    Component* typed = wm.getComponent(7);
    if (!GetParam().withFactory || GetParam().reply > 1) {
        // Nothing built: the placeholder stays and keeps asking.
        EXPECT_EQ(built.size(), GetParam().withFactory ? 1u : 0u);
        EXPECT_EQ(typed, placeholder);
        EXPECT_EQ(components(), std::vector<Component*>{placeholder});
        return;
    }
    EXPECT_EQ(built, (std::vector<std::pair<uint8_t, uint8_t>>{{7, GetParam().reply}}));
    ASSERT_NE(typed, nullptr);
    EXPECT_NE(typed, placeholder);
    EXPECT_EQ(typed->type, GetParam().type);
    EXPECT_EQ(placeholder->ID, 0);
    EXPECT_EQ(componentCount(), 2);

    ::testing::internal::CaptureStdout();
    mm.run(1010);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[WorldModel] deleteOldComponents id 0\n");
    EXPECT_EQ(components(), std::vector<Component*>{typed});
}

INSTANTIATE_TEST_SUITE_P(Types, ManagerDiscovery,
                         ::testing::Values(DiscoveryCase{"FlightBoard", 1, 1, true},
                                           DiscoveryCase{"GroundStation", 0, 0, true},
                                           DiscoveryCase{"UnknownCode", 2, 0, true},
                                           DiscoveryCase{"NoFactory", 1, 0, false}),
                         [](const ::testing::TestParamInfo<DiscoveryCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
