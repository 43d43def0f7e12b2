// The send queue: priority order, unique refresh, the 71-message limit, and
// the taken head that a consumer frames outside the lock.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <thread>
#include <vector>

#include "wire/MessageQueue.h"
#include "TestMessages.h"

using ORQ::Message;
using ORQ::MessageQueue;
using ORQ::test::makeMessage;
using ORQ::test::payloadOf;
using Bytes = std::vector<uint8_t>;

namespace {

// Messages are told apart by dataType; every one has its own key, so unique
// refreshes happen only where a test asks for them.
Message item(uint8_t id, uint8_t priority = 0, Bytes payload = {0}, bool unique = true) {
    return makeMessage(id, 1, 2, 0, payload, priority, 0, unique);
}

// A command carried out once per message (a secure command, say).
Message action(uint8_t id, Bytes payload) {
    Message m = item(id, 0, payload);
    m.properties.action = 1;
    return m;
}

void addAll(MessageQueue& q, std::vector<Message> messages) {
    for (Message& m : messages) q.add(&m);
}

// Takes the queue apart from the head, returning the dataTypes in order.
std::vector<uint8_t> drain(MessageQueue& q) {
    std::vector<uint8_t> order;
    while (Message* m = q.getFirstMessage()) {
        order.push_back(m->dataType);
        q.deleteFirst();
    }
    return order;
}

// ---------------------------------------------------------------- order

struct OrderCase {
    const char* name;
    std::vector<std::pair<uint8_t, uint8_t>> added;  // (id, priority) in adding order
    std::vector<uint8_t> expected;
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

const OrderCase orderCases[] = {
    {"EqualPrioritiesLeaveInTheOrderMade", {{1, 0}, {2, 0}, {3, 0}, {4, 0}}, {1, 2, 3, 4}},
    {"HigherPriorityBecomesHead", {{1, 0}, {2, 0}, {3, 0}, {4, 5}}, {4, 1, 2, 3}},
    {"EqualToHeadStaysBehindIt", {{1, 0}, {2, 0}, {3, 0}, {4, 5}, {5, 5}}, {4, 5, 1, 2, 3}},
    {"EqualToHeadNeverPassesIt", {{1, 3}, {2, 3}}, {1, 2}},
    {"LowerThanHeadGoesBehind", {{1, 3}, {2, 1}}, {1, 2}},
    {"MiddlePriorityBetweenHigherAndLower", {{1, 9}, {2, 1}, {3, 5}}, {1, 3, 2}},
    {"LowestGoesToTheTail", {{1, 9}, {2, 5}, {3, 1}}, {1, 2, 3}},
    {"EqualAmongLowerGoesBehindItsEquals", {{1, 9}, {2, 5}, {3, 1}, {4, 5}}, {1, 2, 4, 3}},
};

class QueueOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(QueueOrder, HandsOutHeadsInPriorityOrder) {
    MessageQueue q;
    for (const auto& added : GetParam().added) {
        Message m = item(added.first, added.second);
        q.add(&m);
    }
    EXPECT_EQ(q.getElementCount(), GetParam().added.size());
    EXPECT_EQ(drain(q), GetParam().expected);
    EXPECT_EQ(q.getElementCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Order, QueueOrder, testing::ValuesIn(orderCases),
                         [](const testing::TestParamInfo<OrderCase>& p) { return p.param.name; });

// -------------------------------------------------------- unique refresh

TEST(QueueRefresh, UniqueMessageOverwritesTheQueuedPayloadAndKeepsItsPriority) {
    MessageQueue q;
    addAll(q, {item(1, 2, {10, 11}), item(2, 0)});
    Message refresh = item(1, 7, {20, 21});
    q.add(&refresh);

    EXPECT_EQ(q.getElementCount(), 2);
    Message* head = q.getFirstMessage();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->dataType, 1);
    EXPECT_EQ(head->priority, 2);  // keeps its own priority
    EXPECT_EQ(payloadOf(*head), (Bytes{20, 21}));
}

// A refresh keeps the item's place: a command queued after an item never
// overtakes the item's corrected value, and an item refreshed faster than the
// line drains still reaches the head.
struct RefreshStep {
    uint8_t id;
    uint8_t priority;
    uint8_t value;
    bool isAction;
};
struct RefreshCase {
    const char* name;
    std::vector<RefreshStep> added;
    std::vector<std::pair<uint8_t, uint8_t>> expected;  // (id, value) in the order they leave
};

void PrintTo(const RefreshCase& c, std::ostream* os) { *os << c.name; }

const RefreshCase refreshCases[] = {
    // wp0, go, wp0': the corrected waypoint leaves before the go.
    {"CorrectedWaypointLeavesBeforeTheCommandQueuedAfterIt",
     {{1, 0, 10, false}, {2, 0, 1, true}, {1, 0, 11, false}},
     {{1, 11}, {2, 1}}},
    {"RefreshKeepsItsPlaceAmongEquals",
     {{1, 0, 1, false}, {2, 0, 1, false}, {3, 0, 1, false}, {1, 0, 2, false}},
     {{1, 2}, {2, 1}, {3, 1}}},
    {"RefreshKeepsItsPlaceBehindAHigherPriority",
     {{1, 0, 1, false}, {2, 0, 1, false}, {4, 5, 1, false}, {1, 0, 2, false}},
     {{4, 1}, {1, 2}, {2, 1}}},
    {"RefreshKeepsTheQueuedPriority",
     {{1, 0, 1, false}, {2, 3, 1, false}, {1, 9, 2, false}},
     {{2, 1}, {1, 2}}},
    {"ItemRefreshedOnAndOnStillLeavesFirst",
     {{1, 0, 1, false}, {2, 0, 1, false}, {1, 0, 2, false}, {3, 0, 1, false}, {1, 0, 3, false},
      {4, 0, 1, false}, {1, 0, 4, false}},
     {{1, 4}, {2, 1}, {3, 1}, {4, 1}}},
    {"ActionsAreNeverMerged",
     {{2, 0, 1, true}, {1, 0, 1, false}, {2, 0, 1, true}, {1, 0, 2, false}},
     {{2, 1}, {1, 2}, {2, 1}}},
};

class QueueRefreshOrder : public testing::TestWithParam<RefreshCase> {};

TEST_P(QueueRefreshOrder, RefreshReplacesTheValueInPlace) {
    MessageQueue q;
    for (const RefreshStep& step : GetParam().added) {
        Message m = step.isAction ? action(step.id, {step.value}) : item(step.id, step.priority, {step.value});
        ASSERT_TRUE(q.add(&m));
    }
    std::vector<std::pair<uint8_t, uint8_t>> left;
    while (Message* m = q.getFirstMessage()) {
        left.emplace_back(m->dataType, m->data[0]);
        q.deleteFirst();
    }
    EXPECT_EQ(left, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Refresh, QueueRefreshOrder, testing::ValuesIn(refreshCases),
                         [](const testing::TestParamInfo<RefreshCase>& p) { return p.param.name; });

TEST(QueueRefresh, RefreshReachesAMessageBehindTheHead) {
    MessageQueue q;
    addAll(q, {item(1), item(2, 0, {5})});
    Message refresh = item(2, 0, {6});
    q.add(&refresh);
    EXPECT_EQ(q.getElementCount(), 2);
    q.getFirstMessage();
    q.deleteFirst();
    Message* second = q.getFirstMessage();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(payloadOf(*second), (Bytes{6}));
}

struct SeparateCase {
    const char* name;
    Message first;
    Message second;
};

void PrintTo(const SeparateCase& c, std::ostream* os) { *os << c.name; }

std::vector<SeparateCase> separateCases() {
    return {
        {"OtherDataSize", item(1, 0, {1}), item(1, 0, {1, 2})},
        {"NewMessageNotUnique", item(1, 0, {1}), item(1, 0, {2}, false)},
        {"IdenticalNotUnique", item(1, 0, {1}, false), item(1, 0, {1}, false)},
        {"OtherChannel", makeMessage(1, 1, 2, 0, {1}), makeMessage(1, 1, 2, 1, {2})},
        {"OtherReceiver", makeMessage(1, 1, 2, 0, {1}), makeMessage(1, 1, 3, 0, {2})},
        {"NewMessageIsAnAction", item(1, 0, {1}), action(1, {2})},
        {"QueuedMessageIsAnAction", action(1, {1}), item(1, 0, {2})},
        {"BothAreActions", action(1, {1}), action(1, {3})},
    };
}

class QueueSeparate : public testing::TestWithParam<SeparateCase> {};

TEST_P(QueueSeparate, IsQueuedAsASecondMessage) {
    MessageQueue q;
    SeparateCase c = GetParam();
    q.add(&c.first);
    q.add(&c.second);
    EXPECT_EQ(q.getElementCount(), 2);
    Message* head = q.getFirstMessage();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(payloadOf(*head), payloadOf(c.first));
}

INSTANTIATE_TEST_SUITE_P(Separate, QueueSeparate, testing::ValuesIn(separateCases()),
                         [](const testing::TestParamInfo<SeparateCase>& p) { return p.param.name; });

TEST(QueueCopy, QueueKeepsItsOwnCopyOfEveryField) {
    MessageQueue q;
    {
        Message m = makeMessage(31, 1, 5, 3, {7, 8}, 4, 9, false);
        q.add(&m);
        m.data[0] = 0;  // the caller's block changes (and is then released)
    }
    Message* head = q.getFirstMessage();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->channel, 3);
    EXPECT_EQ(head->ttl, 9);
    EXPECT_EQ(head->priority, 4);
    EXPECT_EQ(head->properties.unique, 0u);
    EXPECT_EQ(payloadOf(*head), (Bytes{7, 8}));
}

// ----------------------------------------------------------------- limit

class QueueFull : public testing::Test {
protected:
    void SetUp() override {
        for (unsigned i = 0; i < MessageQueue::maxElements; ++i) {
            Message m = item(static_cast<uint8_t>(i), 0, {0});
            q.add(&m);
        }
        ASSERT_EQ(q.getElementCount(), 71);
        ASSERT_EQ(q.getErrorCount(), 0);
    }
    MessageQueue q;
};

TEST_F(QueueFull, RefusesTheSeventySecondAndCountsIt) {
    Message extra = item(200);
    EXPECT_FALSE(q.add(&extra));
    EXPECT_EQ(q.getElementCount(), 71);
    EXPECT_EQ(q.getErrorCount(), 1);
    Message another = item(201, 9);
    EXPECT_FALSE(q.add(&another));
    EXPECT_EQ(q.getErrorCount(), 2);
    EXPECT_EQ(q.getRefusedCount(), 2u);
    EXPECT_EQ(q.getFirstMessage()->dataType, 0);  // not even a higher priority gets in
}

TEST_F(QueueFull, StillRefreshesAQueuedMessage) {
    Message refresh = item(40, 0, {77});
    EXPECT_TRUE(q.add(&refresh));
    EXPECT_EQ(q.getElementCount(), 71);
    EXPECT_EQ(q.getErrorCount(), 0);
    bool found = false;
    while (Message* m = q.getFirstMessage()) {
        if (m->dataType == 40) {
            EXPECT_EQ(payloadOf(*m), (Bytes{77}));
            found = true;
        }
        q.deleteFirst();
    }
    EXPECT_TRUE(found);
}

TEST_F(QueueFull, ErrorCountWrapsAt256AndTheRefusedCountDoesNot) {
    Message extra = item(200);
    for (int i = 0; i < 257; ++i) q.add(&extra);
    EXPECT_EQ(q.getErrorCount(), 1);
    EXPECT_EQ(q.getRefusedCount(), 257u);
}

TEST_F(QueueFull, TakesNewMessagesAgainAfterAHeadIsRemoved) {
    q.getFirstMessage();
    q.deleteFirst();
    Message extra = item(200);
    EXPECT_TRUE(q.add(&extra));
    EXPECT_EQ(q.getElementCount(), 71);
    EXPECT_EQ(q.getErrorCount(), 0);
}

// ----------------------------------------------------------------- empty

TEST(QueueEmpty, HasNoHeadAndIgnoresRemoval) {
    MessageQueue q;
    EXPECT_EQ(q.getFirstMessage(), nullptr);
    q.deleteFirst();
    EXPECT_EQ(q.getElementCount(), 0);
    EXPECT_EQ(q.getErrorCount(), 0);
    Message m = item(1);
    q.add(&m);
    EXPECT_EQ(q.getElementCount(), 1);
}

// ------------------------------------------------------------ taken head

TEST(QueueTakenHead, RefreshOfTheTakenHeadIsQueuedAndItsBytesStay) {
    MessageQueue q;
    Message first = item(1, 0, {1});
    q.add(&first);
    Message* taken = q.getFirstMessage();
    ASSERT_NE(taken, nullptr);

    Message refresh = item(1, 0, {2});
    q.add(&refresh);
    EXPECT_EQ(q.getElementCount(), 2);
    EXPECT_EQ(payloadOf(*taken), (Bytes{1}));  // what is being framed does not change

    Message later = item(1, 0, {3});
    q.add(&later);  // refreshes the queued copy, not the taken one
    EXPECT_EQ(q.getElementCount(), 2);

    q.deleteFirst();
    Message* next = q.getFirstMessage();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(payloadOf(*next), (Bytes{3}));  // the newest value still goes out
    q.deleteFirst();
    EXPECT_EQ(q.getElementCount(), 0);
}

TEST(QueueTakenHead, RemovalTakesTheFramedMessageEvenWhenOvertaken) {
    MessageQueue q;
    addAll(q, {item(1), item(2)});
    ASSERT_EQ(q.getFirstMessage()->dataType, 1);
    Message urgent = item(9, 5);
    q.add(&urgent);  // now in front of the taken message
    q.deleteFirst();
    EXPECT_EQ(drain(q), (std::vector<uint8_t>{9, 2}));
}

TEST(QueueTakenHead, RemovalWithoutTakingRemovesTheHead) {
    MessageQueue q;
    addAll(q, {item(1), item(2), item(3, 4)});
    q.deleteFirst();
    EXPECT_EQ(drain(q), (std::vector<uint8_t>{1, 2}));
}

TEST(QueueTakenHead, TakingAgainFollowsTheNewHead) {
    MessageQueue q;
    addAll(q, {item(1)});
    q.getFirstMessage();
    Message urgent = item(9, 5);
    q.add(&urgent);
    ASSERT_EQ(q.getFirstMessage()->dataType, 9);  // the consumer retried
    q.deleteFirst();
    EXPECT_EQ(drain(q), (std::vector<uint8_t>{1}));
}

TEST(QueueLifetime, DestroyingTheQueueReleasesQueuedMessages) {
    // Run under AddressSanitizer, a leak here fails the test program.
    auto* q = new MessageQueue();
    addAll(*q, {item(1, 0, Bytes(40, 1)), item(2, 0, Bytes(40, 2))});
    EXPECT_EQ(q->getElementCount(), 2);
    delete q;
}

// ---------------------------------------------------------------- age

TEST(QueueAge, DropOlderThanSparesTheTakenMessageAndFreshRefreshes) {
    MessageQueue q;
    addAll(q, {item(1), item(2), item(3)});
    const auto afterAdding = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Message refresh = item(3, 0, {9});
    q.add(&refresh);  // the value of 3 is new again
    ASSERT_NE(nullptr, q.getFirstMessage());  // 1 is taken: a consumer frames it

    EXPECT_EQ(1, q.dropOlderThan(afterAdding));  // only 2
    q.deleteFirst();                             // still removes exactly the taken 1
    EXPECT_EQ((std::vector<uint8_t>{3}), drain(q));
}

}  // namespace
