// World model: lookups and uses, message hand-over, ticks, and the removal of
// retired and silent components on the manager clock.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "node/Component.h"
#include "routing/ComponentRef.h"
#include "CountingComponent.h"
#include "routing/MessageManager.h"
#include "RecordingHandler.h"
#include "TestMessages.h"
#include "routing/WorldModel.h"

using ORQ::Component;
using ORQ::MessageManager;
using ORQ::WorldModel;
using ORQ::test::CountingComponent;
using ORQ::test::makeMessage;
using ORQ::test::RecordingHandler;

namespace {

class WorldModelTest : public ::testing::Test {
protected:
    // Adds a component whose age starts at manager time `time`.
    Component* addAt(uint32_t time, uint8_t id) {
        mm.run(time);
        auto* c = new CountingComponent(id, &destroyed);
        wm.addComponent(c);
        return c;
    }
    std::vector<uint8_t> ids() {
        std::vector<uint8_t> result;
        wm.forEach([&](Component& c) { result.push_back(c.ID); });
        return result;
    }
    std::vector<Component*> components() {
        std::vector<Component*> result;
        wm.forEach([&](Component& c) { result.push_back(&c); });
        return result;
    }
    // One tick; returns what it wrote to standard output.
    std::string tick(uint32_t time) {
        ::testing::internal::CaptureStdout();
        mm.run(time);
        return ::testing::internal::GetCapturedStdout();
    }

    int destroyed = 0;
    MessageManager mm;
    WorldModel& wm = *mm.getWorldModel();
};

TEST_F(WorldModelTest, AddedComponentsAreRegisteredNewestFirst) {
    Component* a = addAt(500, 1);
    Component* b = addAt(800, 2);
    EXPECT_EQ(ids(), (std::vector<uint8_t>{2, 1}));
    EXPECT_EQ(a->mm, &mm);
    EXPECT_EQ(b->getUpdateTime(), 0u);
    EXPECT_EQ(a->getUpdateTime(), 300u);
}

TEST_F(WorldModelTest, LookupOfZeroFindsNothingEvenWithARetiredComponent) {
    addAt(0, 3)->ID = 0;
    EXPECT_EQ(wm.getComponent(0), nullptr);
    EXPECT_FALSE(wm.acquireComponent(0));
}

TEST_F(WorldModelTest, LookupFindsTheComponentAddedLastForADuplicateID) {
    Component* older = addAt(0, 5);
    Component* newer = addAt(0, 5);
    EXPECT_EQ(wm.getComponent(5), newer);
    EXPECT_EQ(wm.getComponent(6), nullptr);
    (void)older;
}

// The newest component of an ID is found; once it is retired or removed,
// the older one with that ID is found again.
TEST_F(WorldModelTest, LookupFindsTheOlderComponentOfAnIDOnceTheNewerIsGone) {
    Component* older = addAt(0, 5);
    Component* newer = addAt(0, 5);
    newer->ID = 0;
    EXPECT_EQ(wm.getComponent(5), older);
    EXPECT_EQ(wm.acquireComponent(5).get(), older);

    Component* newest = addAt(1000, 5);
    EXPECT_EQ(wm.getComponent(5), newest);
    mm.run(250000);
    older->setUpdate();
    tick(301001);  // the retired one and the silent newest go, the renewed older stays
    EXPECT_EQ(components(), std::vector<Component*>{older});
    EXPECT_EQ(wm.getComponent(5), older);
}

TEST_F(WorldModelTest, AcquireHoldsAUseUntilReleased) {
    Component* older = addAt(0, 5);
    Component* newer = addAt(0, 5);
    {
        ORQ::ComponentRef first = wm.acquireComponent(5);
        ORQ::ComponentRef second = wm.acquireComponent(5);
        ASSERT_EQ(first.get(), newer);
        ASSERT_EQ(second.get(), newer);
        EXPECT_EQ(newer->useCount(), 2);
        EXPECT_EQ(older->useCount(), 0);
        ORQ::ComponentRef moved = std::move(first);
        EXPECT_EQ(newer->useCount(), 2);  // a moved use is still one use
    }
    EXPECT_EQ(newer->useCount(), 0);
    EXPECT_FALSE(wm.acquireComponent(9));
}

TEST_F(WorldModelTest, MessageGoesToTheComponentOfItsSender) {
    EXPECT_EQ(wm.procNewMessage(makeMessage(10, 5, 1).get()), 0);  // empty list

    RecordingHandler h5, h6;
    addAt(0, 5)->addMessageHandler(&h5);
    addAt(0, 6)->addMessageHandler(&h6);

    EXPECT_EQ(wm.procNewMessage(makeMessage(10, 5, 6).get()), 1);
    EXPECT_EQ(wm.procNewMessage(makeMessage(10, 7, 5).get()), 0);
    EXPECT_EQ(h5.offeredSenders, (std::vector<uint8_t>{5}));
    EXPECT_TRUE(h6.offeredSenders.empty());
    EXPECT_EQ(wm.getComponent(5)->useCount(), 0);  // the use taken for processing is given back
}

TEST_F(WorldModelTest, BroadcastReachesEveryComponentAndGivesBackItsUses) {
    RecordingHandler h5, h6;
    addAt(0, 5)->addMessageHandler(&h5);
    addAt(0, 6)->addMessageHandler(&h6);
    wm.procNewBroadcastMessage(makeMessage(10, 9, 255).get());
    EXPECT_EQ(h5.offeredSenders.size(), 1u);
    EXPECT_EQ(h6.offeredSenders.size(), 1u);
    wm.forEach([](Component& c) { EXPECT_EQ(c.useCount(), 0); });
}

TEST_F(WorldModelTest, TickRunsEveryComponentWithTheTickLength) {
    RecordingHandler h5, h6;
    addAt(0, 5)->addMessageHandler(&h5);
    auto* c6 = new Component(6);
    c6->addMessageHandler(&h6);
    wm.addComponent(c6);
    EXPECT_EQ(tick(10), "");
    EXPECT_EQ(tick(35), "");
    EXPECT_EQ(h5.timeDiffs, (std::vector<uint16_t>{10, 25}));
    EXPECT_EQ(h6.timeDiffs, (std::vector<uint16_t>{10, 25}));
    EXPECT_EQ(wm.getTime(), 35u);
}

TEST_F(WorldModelTest, TickOnAnEmptyListDoesNothing) {
    EXPECT_EQ(tick(400000), "");
    EXPECT_TRUE(components().empty());
}

// Age limit: more than 300000 ms since the last update, measured modulo 2^32.
struct AgeingCase {
    const char* name;
    uint32_t updatedAt;
    uint32_t tickAt;
    bool removed;
};

class WorldModelAgeing : public WorldModelTest, public ::testing::WithParamInterface<AgeingCase> {};

TEST_P(WorldModelAgeing, RemovesOnlyComponentsOlderThanTheLimit) {
    addAt(GetParam().updatedAt, 5);
    const std::string out = tick(GetParam().tickAt);
    if (GetParam().removed) {
        EXPECT_EQ(out, "[WorldModel] deleteOldComponents id 5\n");
        EXPECT_TRUE(components().empty());
        EXPECT_EQ(destroyed, 1);
    } else {
        EXPECT_EQ(out, "");
        EXPECT_EQ(ids(), (std::vector<uint8_t>{5}));
        EXPECT_EQ(destroyed, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ages, WorldModelAgeing,
    ::testing::Values(AgeingCase{"ExactlyTheLimitStays", 1000, 301000, false},
                      AgeingCase{"OneMillisecondMoreGoes", 1000, 301001, true},
                      AgeingCase{"AcrossWrapExactlyTheLimitStays", 0xFFFFFF9Cu, 299900, false},
                      AgeingCase{"AcrossWrapOneMillisecondMoreGoes", 0xFFFFFF9Cu, 299901, true},
                      AgeingCase{"YoungJustBeforeWrapStays", 0xFFFFFF9Cu, 0xFFFFFFCEu, false},
                      AgeingCase{"YoungJustAfterWrapStays", 0xFFFFFF9Cu, 50, false}),
    [](const ::testing::TestParamInfo<AgeingCase>& p) { return std::string(p.param.name); });

TEST_F(WorldModelTest, RetiredComponentGoesAtTheNextTickWhateverItsAge) {
    addAt(1000, 5)->ID = 0;
    EXPECT_EQ(tick(1000), "[WorldModel] deleteOldComponents id 0\n");
    EXPECT_TRUE(components().empty());
    EXPECT_EQ(destroyed, 1);
}

TEST_F(WorldModelTest, SeveralOldComponentsGoInOneTickEachWithItsLine) {
    addAt(0, 1);
    addAt(200000, 2);
    Component* retired = addAt(250000, 3);
    Component* young = addAt(250000, 4);
    retired->ID = 0;
    RecordingHandler h;
    young->addMessageHandler(&h);

    // Newest first: 4, retired 3, 2, 1 (301 s old).
    EXPECT_EQ(tick(301000), "[WorldModel] deleteOldComponents id 0\n[WorldModel] deleteOldComponents id 1\n");
    EXPECT_EQ(ids(), (std::vector<uint8_t>{4, 2}));
    EXPECT_EQ(destroyed, 2);  // each destroyed alone, not with the rest of the list
    EXPECT_EQ(h.timeDiffs.size(), 1u);  // the survivors still run in the same tick
}

TEST_F(WorldModelTest, DestroyingTheWorldModelDestroysEveryComponent) {
    int count = 0;
    {
        WorldModel own(&mm);
        for (uint8_t id = 1; id <= 3; ++id) own.addComponent(new CountingComponent(id, &count));
    }
    EXPECT_EQ(count, 3);
}

TEST_F(WorldModelTest, PrintWritesOneLinePerComponent) {
    addAt(0, 1);
    addAt(0, 12)->type = 1;
    ::testing::internal::CaptureStdout();
    wm.print();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Component ID 12 type 1\nComponent ID 1 type 0\n");
}

// A component that somebody is working on is not removed under them.
enum class Why { Old, Retired };

class WorldModelInUse : public WorldModelTest, public ::testing::WithParamInterface<Why> {
protected:
    // Makes c due for removal at removalTime() for the reason under test.
    void condemn(Component* c) {
        if (GetParam() == Why::Retired) c->ID = 0;
    }
    uint32_t removalTime() { return GetParam() == Why::Old ? 400000 : 10; }
    std::string line() {
        return GetParam() == Why::Old ? "[WorldModel] deleteOldComponents id 5\n"
                                      : "[WorldModel] deleteOldComponents id 0\n";
    }
};

TEST_P(WorldModelInUse, AcquiredComponentStaysUntilReleased) {
    Component* c = addAt(0, 5);
    {
        ORQ::ComponentRef use = wm.acquireComponent(5);
        ASSERT_EQ(use.get(), c);
        condemn(c);

        EXPECT_EQ(tick(removalTime()), "");  // nothing removed, nothing logged
        EXPECT_EQ(components(), std::vector<Component*>{c});
        EXPECT_EQ(destroyed, 0);
        EXPECT_TRUE(use.lock());  // the clean-up did not keep the lock
    }
    EXPECT_EQ(tick(removalTime() + 10), line());
    EXPECT_TRUE(components().empty());
    EXPECT_EQ(destroyed, 1);
}

TEST_P(WorldModelInUse, ComponentLockedByAnotherThreadIsLeftForALaterTick) {
    Component* c = addAt(0, 5);
    std::promise<void> locked, release;
    std::thread holder([&] {
        ORQ::ComponentRef held = wm.acquireComponent(5);
        EXPECT_TRUE(held.lock());
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    condemn(c);

    EXPECT_EQ(tick(removalTime()), "");  // the holder has a use: not waited for, not logged
    EXPECT_EQ(components(), std::vector<Component*>{c});
    EXPECT_EQ(destroyed, 0);

    release.set_value();
    holder.join();
    EXPECT_EQ(tick(removalTime() + 10), line());
    EXPECT_TRUE(components().empty());
    EXPECT_EQ(destroyed, 1);
}

// A component whose message hand-over blocks, outside its data lock, until
// released: the receive path holds it by its claim alone meanwhile.
class BlockingComponent : public CountingComponent {
public:
    using CountingComponent::CountingComponent;
    uint8_t procNewMessage(ORQ::Message*) override {
        entered.set_value();
        release.get_future().wait();
        return 0;
    }
    std::promise<void> entered, release;
};

TEST_P(WorldModelInUse, ComponentBeingHandedAMessageIsUnlinkedButDestroyedOnlyAfterwards) {
    mm.run(0);
    auto* c = new BlockingComponent(5, &destroyed);
    wm.addComponent(c);
    std::thread receiver([&] {
        const auto m = makeMessage(1, 5, 0);
        EXPECT_EQ(wm.procNewMessage(m.get()), 1);
    });
    c->entered.get_future().wait();
    condemn(c);

    EXPECT_EQ(tick(removalTime()), line());  // gone from the model at once...
    EXPECT_TRUE(components().empty());
    EXPECT_EQ(wm.getComponent(5), nullptr);
    EXPECT_EQ(destroyed, 0);  // ...but not destroyed under the receive thread

    c->release.set_value();
    receiver.join();
    tick(removalTime() + 10);
    EXPECT_EQ(destroyed, 1);
}

INSTANTIATE_TEST_SUITE_P(Reasons, WorldModelInUse, ::testing::Values(Why::Old, Why::Retired),
                         [](const ::testing::TestParamInfo<Why>& p) {
                             return std::string(p.param == Why::Old ? "Old" : "Retired");
                         });

}  // namespace
