// Component and handler base: the handler chain, message counting, the data
// lock, ages on the manager clock, sending, data rates and ownership.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "node/Component.h"
#include "routing/ComponentRef.h"
#include "CountingComponent.h"
#include "node/MessageHandler.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "RecordingHandler.h"
#include "TestMessages.h"

using ORQ::Component;
using ORQ::MessageHandler;
using ORQ::MessageManager;
using ORQ::test::CountingComponent;
using ORQ::test::makeMessage;
using ORQ::test::RecordingHandler;

namespace {

TEST(ComponentHandlerChain, HandlersRunInReverseOrderOfAdding) {
    std::vector<int> order;
    RecordingHandler first(1, &order), second(2, &order), third(3, &order);
    Component c(5);
    c.addMessageHandler(&first);
    c.addMessageHandler(&second);
    c.addMessageHandler(&third);

    EXPECT_EQ(c.mh, &third);
    for (MessageHandler* h : {static_cast<MessageHandler*>(&first), static_cast<MessageHandler*>(&second),
                              static_cast<MessageHandler*>(&third)})
        EXPECT_EQ(h->component, &c);

    c.procNewMessage(makeMessage(10, 5, 1).get());
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));

    order.clear();
    c.run(10);
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
}

TEST(ComponentHandlerChain, EveryHandlerSeesEveryMessageWhateverItsSender) {
    RecordingHandler a, b;
    Component c(5);
    c.addMessageHandler(&a);
    c.addMessageHandler(&b);
    for (uint8_t sender : {5, 6, 0}) c.procNewMessage(makeMessage(10, sender, 1).get());
    EXPECT_EQ(a.offeredSenders, (std::vector<uint8_t>{5, 6, 0}));
    EXPECT_EQ(b.offeredSenders, (std::vector<uint8_t>{5, 6, 0}));
}

// A handler of reports of one data type that records each report handed to it.
class TypedRecorder : public MessageHandler {
public:
    TypedRecorder(uint8_t type, int tag, std::vector<int>* order)
        : MessageHandler(type, static_cast<uint8_t>(type + 1), 1, anySize, anyChannel), tag(tag), order(order) {}

protected:
    bool store(ORQ::Message&) override {
        order->push_back(tag);
        return true;
    }

private:
    int tag;
    std::vector<int>* order;
};

struct DispatchCase {
    uint8_t dataType;
    std::vector<int> offered;  // tags, in the order offered
};

class ComponentDispatch : public ::testing::TestWithParam<DispatchCase> {};

// Typed handlers 1 and 3 take type 10, 4 takes type 20; 2 and 5 name no type.
TEST_P(ComponentDispatch, OffersTheHandlersOfTheTypeNewestFirstThenThoseOfAnyType) {
    std::vector<int> order;
    TypedRecorder t1(10, 1, &order), t3(10, 3, &order), t4(20, 4, &order);
    RecordingHandler any2(2, &order), any5(5, &order);
    MessageManager mm;
    Component c(5);
    c.setMessageManager(&mm);
    for (MessageHandler* h : std::vector<MessageHandler*>{&t1, &any2, &t3, &t4, &any5}) ASSERT_TRUE(c.addMessageHandler(h));

    c.procNewMessage(makeMessage(GetParam().dataType, 5, 1).get());
    EXPECT_EQ(order, GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(Types, ComponentDispatch,
                         ::testing::Values(DispatchCase{10, {3, 1, 5, 2}}, DispatchCase{20, {4, 5, 2}},
                                           DispatchCase{30, {5, 2}}));

TEST(ComponentDispatch, RefusesAHandlerBeyondItsCapacityAndKeepsItsChain) {
    std::vector<RecordingHandler> taken(Component::maxHandlers);
    RecordingHandler refused;
    Component c(5);
    for (RecordingHandler& h : taken) ASSERT_TRUE(c.addMessageHandler(&h));
    EXPECT_FALSE(c.addMessageHandler(&refused));
    EXPECT_EQ(c.mh, &taken.back());
    EXPECT_EQ(refused.component, nullptr);
}

struct CountCase {
    uint8_t sender;
    uint8_t receiver;
    int16_t counted;
};

class ComponentCounting : public ::testing::TestWithParam<CountCase> {};

TEST_P(ComponentCounting, CountsOnlyMessagesFromItsOwnID) {
    Component c(5);  // no handlers, no manager: counting needs neither
    c.procNewMessage(makeMessage(10, GetParam().sender, GetParam().receiver).get());
    EXPECT_EQ(c.recvMessageCounter, GetParam().counted);
    EXPECT_EQ(c.updateTime, 0u);  // counting alone does not renew the component
}

INSTANTIATE_TEST_SUITE_P(Senders, ComponentCounting,
                         ::testing::Values(CountCase{5, 1, 1},   // from itself
                                           CountCase{6, 1, 0},   // from another node
                                           CountCase{0, 5, 0},   // addressed to it, from nobody
                                           CountCase{6, 5, 0})); // addressed to it, from another node

TEST(ComponentCounting, CounterWrapsAround) {
    Component c(5);
    c.recvMessageCounter = INT16_MAX;
    c.procNewMessage(makeMessage(10, 5, 1).get());
    EXPECT_EQ(c.recvMessageCounter, INT16_MIN);
}

struct RateCase {
    uint8_t dataCount;
    uint16_t timeDiff;
    uint8_t rate;
};

class HandlerDatarate : public ::testing::TestWithParam<RateCase> {};

TEST_P(HandlerDatarate, GivesLowByteOfMessagesPerSecondAndResets) {
    MessageHandler h;
    h.dataCount = GetParam().dataCount;
    EXPECT_EQ(h.getDatarate(GetParam().timeDiff), GetParam().rate);
    EXPECT_EQ(h.dataCount, 0);
    EXPECT_EQ(h.getDatarate(1000), 0);  // nothing accepted since
}

INSTANTIATE_TEST_SUITE_P(Rates, HandlerDatarate,
                         ::testing::Values(RateCase{5, 1000, 5},
                                           RateCase{50, 100, 244},   // 500 mod 256
                                           RateCase{0, 1000, 0},
                                           RateCase{255, 65535, 3},  // no overflow in the product
                                           RateCase{255, 1, 24},     // 255000 mod 256
                                           RateCase{7, 0, 0}));      // empty window

TEST(HandlerBase, StartsUnattachedWithUniqueSends) {
    MessageHandler h;
    EXPECT_EQ(h.next, nullptr);
    EXPECT_EQ(h.component, nullptr);
    EXPECT_EQ(h.priority, 0);
    EXPECT_EQ(h.settable, 1);
    EXPECT_EQ(h.gettable, 1);
    EXPECT_EQ(h.dataCount, 0);
    EXPECT_EQ(h.properties.unique, 1u);
    EXPECT_EQ(h.procNewMessage(makeMessage(10, 5, 1).get()), 0);
}

// Ages on the manager clock, also across the 2^32 wrap of manager time.
struct AgeCase {
    uint32_t registeredAt;
    uint32_t age;
    uint8_t alive;
};

class ComponentAge : public ::testing::TestWithParam<AgeCase> {};

TEST_P(ComponentAge, IsMeasuredFromRegistrationOnTheManagerClock) {
    MessageManager mm;
    Component c(5);  // not in the world model: nothing removes it
    mm.run(GetParam().registeredAt);
    c.setMessageManager(&mm);
    EXPECT_EQ(c.getUpdateTime(), 0u);

    mm.run(GetParam().registeredAt + GetParam().age);
    EXPECT_EQ(c.getUpdateTime(), GetParam().age);
    EXPECT_EQ(c.isAlive(), GetParam().alive);
}

INSTANTIATE_TEST_SUITE_P(Ages, ComponentAge,
                         ::testing::Values(AgeCase{1000, 0, 1}, AgeCase{1000, 499, 1}, AgeCase{1000, 500, 0},
                                           AgeCase{1000, 501, 0}, AgeCase{0xFFFFFF00u, 499, 1},
                                           AgeCase{0xFFFFFF00u, 500, 0}, AgeCase{0xFFFFFFFFu, 300000, 0}));

TEST(ComponentUpdate, RenewsTheAgeAndRaisesTheManagersFlag) {
    MessageManager mm;
    Component c(5);
    mm.run(1000);
    c.setMessageManager(&mm);
    mm.run(5000);
    ASSERT_EQ(c.getUpdateTime(), 4000u);
    ASSERT_EQ(mm.hasUpdate(), 0);

    c.setUpdate();
    EXPECT_EQ(c.getUpdateTime(), 0u);
    EXPECT_EQ(mm.hasUpdate(), 1);
}

TEST(ComponentUpdate, AcceptingHandlerRenewsTheComponentInsideProcessing) {
    MessageManager mm;
    Component c(5);
    RecordingHandler h;
    h.acceptType = 20;
    c.addMessageHandler(&h);
    mm.run(0);
    c.setMessageManager(&mm);
    mm.run(7000);

    c.procNewMessage(makeMessage(21, 5, 1).get());
    EXPECT_EQ(c.getUpdateTime(), 7000u);
    c.procNewMessage(makeMessage(20, 5, 1).get());
    EXPECT_EQ(c.getUpdateTime(), 0u);
    EXPECT_EQ(h.dataCount, 1);
}

class ComponentSend : public ::testing::Test {
protected:
    ComponentSend() { mm.addMessageSystem(&sys); }
    ORQ::MessageSystem sys;
    MessageManager mm;
};

TEST_F(ComponentSend, CountsStampsAndQueuesAnUnchangedCopy) {
    Component c(5);
    mm.setMyID(1);
    mm.run(2000);
    c.setMessageManager(&mm);
    auto m = makeMessage(31, c.getEgoID(), 5, {2});
    c.send(m.get());
    mm.run(2030);

    EXPECT_EQ(c.sendMessageCounter, 1);
    EXPECT_EQ(c.getlastSendTime(), 30u);
    ORQ::MessageQueue* q = sys.getMessageQueue();
    ASSERT_EQ(q->getElementCount(), 1);
    ORQ::Message* queued = q->getFirstMessage();
    ASSERT_NE(queued, m.get());
    EXPECT_EQ(queued->dataType, 31);
    EXPECT_EQ(queued->senderID, 1);
    EXPECT_EQ(queued->receiverID, 5);
    ASSERT_EQ(queued->dataSize, 1);
    EXPECT_EQ(queued->data[0], 2);
    q->deleteFirst();
    // The caller's message is still its own.
    EXPECT_EQ(m->dataType, 31);
    ASSERT_EQ(m->dataSize, 1);
    EXPECT_EQ(m->data[0], 2);
}

TEST_F(ComponentSend, EgoIDAndWorldModelComeFromTheManager) {
    Component c(5);
    c.setMessageManager(&mm);
    mm.setMyID(4);
    EXPECT_EQ(c.getEgoID(), 4);
    EXPECT_EQ(c.getWorldModel(), mm.getWorldModel());
}

TEST(ComponentOwnership, AdoptedHandlerIsDestroyedWithTheComponentAddedOneIsNot) {
    int adoptedDestroyed = 0, addedDestroyed = 0;
    RecordingHandler added(0, nullptr, &addedDestroyed);
    auto* c = new Component(5);
    c->addMessageHandler(&added);
    auto* adopted = new RecordingHandler(0, nullptr, &adoptedDestroyed);
    c->adoptMessageHandler(adopted);
    EXPECT_EQ(c->mh, adopted);
    EXPECT_EQ(adopted->component, c);

    delete c;
    EXPECT_EQ(adoptedDestroyed, 1);
    EXPECT_EQ(addedDestroyed, 0);
}

// A data-lock limit short enough that the tests of a lock that stays taken
// wait milliseconds, not the default second.
const std::chrono::milliseconds shortLockLimit(50);

// A thread that holds a component's data lock until told to let go.
class LockHolder {
public:
    explicit LockHolder(Component& c) : thread([this, &c] {
        ORQ::ComponentRef held(&c);
        locked.set_value(held.lock());
        release.get_future().wait();
    }) {
        EXPECT_TRUE(locked.get_future().get());
    }
    ~LockHolder() { letGo(); }
    void letGo() {
        if (!thread.joinable()) return;
        release.set_value();
        thread.join();
    }

private:
    std::promise<bool> locked;
    std::promise<void> release;
    std::thread thread;
};

TEST(ComponentLock, MessageIsDroppedWhileAnotherThreadHoldsTheLock) {
    RecordingHandler h;
    Component c(5, shortLockLimit);
    c.addMessageHandler(&h);
    LockHolder holder(c);

    c.procNewMessage(makeMessage(10, 5, 1).get());  // gives up after the lock's limit
    EXPECT_TRUE(h.offeredSenders.empty());
    EXPECT_EQ(c.recvMessageCounter, 0);
    EXPECT_FALSE(ORQ::ComponentRef(&c).lock());  // the holder's lock was not released for it

    holder.letGo();
    c.procNewMessage(makeMessage(10, 5, 1).get());
    EXPECT_EQ(h.offeredSenders.size(), 1u);
    EXPECT_EQ(c.recvMessageCounter, 1);
    EXPECT_TRUE(ORQ::ComponentRef(&c).lock());  // processing released what it took
}

TEST(ComponentLock, LockReportsTimeoutAndSucceedsOnceReleased) {
    Component c(5, shortLockLimit);
    {
        LockHolder holder(c);
        ORQ::ComponentRef waiting(&c);
        EXPECT_FALSE(waiting.lock());
        EXPECT_FALSE(waiting.locked());
    }
    ORQ::ComponentRef free(&c);
    EXPECT_TRUE(free.lock());
    EXPECT_TRUE(free.lock());  // a ref that holds the lock holds it once
    EXPECT_EQ(c.useCount(), 1);
}

}  // namespace
