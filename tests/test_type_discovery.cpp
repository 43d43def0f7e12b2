// Discovery of new nodes on the routing core: a message from an unknown
// sender creates a placeholder, the placeholder asks the sender for its type
// once per 1000 ms of ticks, and a valid reply replaces it by the typed model
// with the same ID, which then mirrors the sender's reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "node/Component.h"
#include "models/ComponentQRNClient.h"
#include "models/ComponentVKRClient.h"
#include "ManagerHarness.h"
#include "wire/MessageQueue.h"
#include "TestMessages.h"
#include "routing/WorldModel.h"

namespace {

using ORQ::Message;
using ORQ::test::makeMessage;
using Bytes = std::vector<uint8_t>;

const uint8_t myID = 1;
const uint8_t nodeID = 7;

std::vector<ORQ::Component*> components(ORQ::WorldModel* wm) {
    std::vector<ORQ::Component*> all;
    wm->forEach([&](ORQ::Component& c) { all.push_back(&c); });
    return all;
}

class Discovery : public ::testing::Test {
protected:
    Discovery() : link(myID), wm(link.mm.getWorldModel()) { link.observeAndAutoAdd(); }

    void hear(uint8_t type, const Bytes& payload, uint8_t sender = nodeID, uint8_t channel = 0) {
        Message m = makeMessage(type, sender, myID, channel, payload);
        link.receive(m);
    }
    // Ticks of `step` ms until a message is queued; the number of the tick
    // that queued it (0 if none within maxTicks).
    int ticksUntilQueued(uint32_t step, int maxTicks) {
        for (int run = 1; run <= maxTicks; ++run) {
            now += step;
            link.tick(now);
            if (link.queued() > 0) return run;
        }
        return 0;
    }
    // A placeholder for nodeID with its first request taken off the queue.
    void placeholderAsked() {
        hear(54, {0});
        ASSERT_EQ(ticksUntilQueued(10, 200), 100);
        link.drain();
    }

    ORQ::test::ManagerHarness link;
    ORQ::WorldModel* wm;
    uint32_t now = 0;
};

TEST_F(Discovery, UnknownSenderGetsAPlainPlaceholder) {
    hear(6, Bytes(6, 0));

    ORQ::Component* c = wm->getComponent(nodeID);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->type, 0);
    EXPECT_EQ(dynamic_cast<ORQ::ComponentVKR*>(c), nullptr);
    EXPECT_EQ(dynamic_cast<ORQ::ComponentQRN*>(c), nullptr);
    EXPECT_EQ(link.queued(), 0);
}

TEST_F(Discovery, TypeRequestGoesToTheNodeFromTheOwnID) {
    hear(54, {0});
    ASSERT_NE(ticksUntilQueued(10, 200), 0);

    const std::vector<Message> sent = link.drain();
    ASSERT_EQ(sent.size(), 1u);
    const Message& m = sent[0];
    EXPECT_EQ(m.dataType, 3);
    EXPECT_EQ(m.senderID, myID);
    EXPECT_EQ(m.receiverID, nodeID);
    EXPECT_EQ(m.dataSize, 0);
    EXPECT_EQ(m.channel, 0);
    EXPECT_EQ(m.priority, 0);
    EXPECT_EQ(m.ttl, 0);
    EXPECT_EQ(m.properties.unique, 1u);
}

struct Cadence {
    uint32_t step;
    int first;
    int period;
};

void PrintTo(const Cadence& c, std::ostream* os) { *os << c.step << " ms"; }

class DiscoveryCadence : public Discovery, public ::testing::WithParamInterface<Cadence> {};

TEST_P(DiscoveryCadence, RequestsAtTheRunThatCompletes1000ms) {
    const Cadence& c = GetParam();
    hear(54, {0});

    EXPECT_EQ(ticksUntilQueued(c.step, 1000), c.first);
    link.drain();
    EXPECT_EQ(ticksUntilQueued(c.step, 1000), c.period);
    link.drain();
    EXPECT_EQ(ticksUntilQueued(c.step, 1000), c.period);
}

INSTANTIATE_TEST_SUITE_P(Ticks, DiscoveryCadence,
                         ::testing::Values(Cadence{10, 100, 100}, Cadence{300, 4, 4}, Cadence{1000, 1, 1},
                                           Cadence{999, 2, 2}),
                         [](const ::testing::TestParamInfo<Cadence>& i) {
                             return "Every" + std::to_string(i.param.step) + "ms";
                         });

TEST_F(Discovery, UnansweredRequestForTheSameNodeIsQueuedOnce) {
    hear(54, {0});
    ASSERT_EQ(ticksUntilQueued(10, 200), 100);
    for (int i = 0; i < 100; ++i) link.tick(now += 10);

    EXPECT_EQ(link.queued(), 1);
}

struct Reply {
    uint8_t code;
    bool flightBoard;
};

void PrintTo(const Reply& r, std::ostream* os) { *os << "code " << int(r.code); }

class DiscoveryReply : public Discovery, public ::testing::WithParamInterface<Reply> {};

TEST_P(DiscoveryReply, CreatesTheTypedModelAndRetiresThePlaceholder) {
    placeholderAsked();
    ORQ::Component* placeholder = wm->getComponent(nodeID);

    hear(4, {GetParam().code});

    ORQ::Component* typed = wm->getComponent(nodeID);
    ASSERT_NE(typed, nullptr);
    ASSERT_NE(typed, placeholder);
    EXPECT_EQ(typed->ID, nodeID);
    if (GetParam().flightBoard) {
        EXPECT_NE(dynamic_cast<ORQ::ComponentVKRClient*>(typed), nullptr);
        EXPECT_EQ(typed->type, 1);
    } else {
        EXPECT_NE(dynamic_cast<ORQ::ComponentQRNClient*>(typed), nullptr);
        EXPECT_EQ(typed->type, 0);
    }
    EXPECT_EQ(typed->getUpdateTime(), 0u);
    EXPECT_EQ(components(wm), (std::vector<ORQ::Component*>{typed, placeholder}));
    EXPECT_EQ(placeholder->ID, 0);

    link.tick(now += 10);
    EXPECT_EQ(components(wm), std::vector<ORQ::Component*>{typed});

    // The model now mirrors the node; a repeated reply changes nothing.
    hear(6, {0x10, 0, 0xF0, 0xFF, 0, 1});
    hear(4, {GetParam().code});
    link.tick(now += 10);
    EXPECT_EQ(components(wm), std::vector<ORQ::Component*>{typed});
    if (GetParam().flightBoard) {
        auto* board = dynamic_cast<ORQ::ComponentVKRClient*>(typed);
        EXPECT_EQ(board->acc[0].x, 16);
        EXPECT_EQ(board->acc[0].y, -16);
        EXPECT_EQ(board->acc[0].z, 256);
    } else {
        auto* station = dynamic_cast<ORQ::ComponentQRNClient*>(typed);
        EXPECT_EQ(station->acc[0].x, 16);
        EXPECT_EQ(station->acc[0].y, -16);
        EXPECT_EQ(station->acc[0].z, 256);
    }

    // No more type requests once the model exists.
    EXPECT_EQ(ticksUntilQueued(10, 300), 0);
}

INSTANTIATE_TEST_SUITE_P(Replies, DiscoveryReply, ::testing::Values(Reply{1, true}, Reply{0, false}),
                         [](const ::testing::TestParamInfo<Reply>& i) {
                             return i.param.flightBoard ? "FlightBoard" : "GroundStation";
                         });

struct BadReply {
    std::string name;
    uint8_t type;
    uint8_t sender;
    Bytes payload;
};

void PrintTo(const BadReply& r, std::ostream* os) { *os << r.name; }

class DiscoveryBadReply : public Discovery, public ::testing::WithParamInterface<BadReply> {};

TEST_P(DiscoveryBadReply, CreatesNothingAndTheRequestsGoOn) {
    const BadReply& r = GetParam();
    placeholderAsked();
    ORQ::Component* placeholder = wm->getComponent(nodeID);
    const size_t before = components(wm).size();

    hear(r.type, r.payload, r.sender);

    EXPECT_EQ(wm->getComponent(nodeID), placeholder);
    EXPECT_EQ(placeholder->ID, nodeID);
    for (ORQ::Component* c : components(wm)) {
        EXPECT_EQ(dynamic_cast<ORQ::ComponentVKR*>(c), nullptr);
        EXPECT_EQ(dynamic_cast<ORQ::ComponentQRN*>(c), nullptr);
    }
    // A reply from another sender makes that sender known; nothing else is added.
    EXPECT_EQ(components(wm).size(), before + (r.sender != nodeID ? 1 : 0));

    EXPECT_EQ(ticksUntilQueued(10, 200), 100);
    bool askedNode = false;
    for (const Message& m : link.drain()) askedNode |= m.dataType == 3 && m.receiverID == nodeID;
    EXPECT_TRUE(askedNode);
}

INSTANTIATE_TEST_SUITE_P(Replies, DiscoveryBadReply,
                         ::testing::Values(BadReply{"UnknownCode", 4, nodeID, {2}},
                                           BadReply{"TwoBytes", 4, nodeID, {1, 0}},
                                           BadReply{"Empty", 4, nodeID, {}},
                                           BadReply{"OtherDataType", 5, nodeID, {1}},
                                           BadReply{"OtherSender", 4, 8, {1}}),
                         [](const ::testing::TestParamInfo<BadReply>& i) { return i.param.name; });

TEST_F(Discovery, AFrameFromTheOwnIdCreatesNoComponent) {
    hear(54, {0}, myID);
    hear(6, Bytes(6, 0), myID);
    EXPECT_TRUE(components(wm).empty());
    EXPECT_EQ(ticksUntilQueued(10, 300), 0);
}

// A burst of new senders, more than the queue holds: every one is asked
// within 5 s, the queue keeps room for the host's sets all along, and no
// sender is asked twice before every other one was asked once.
TEST_F(Discovery, ABurstOf254NewSendersIsAskedFairlyWithinFiveSeconds) {
    for (int id = 1; id <= 255; ++id) {
        if (id != myID) hear(54, {0}, static_cast<uint8_t>(id));
    }
    ASSERT_EQ(components(wm).size(), 254u);

    std::vector<int> firstAsked(256, -1);
    std::vector<int> asked(256, 0);
    int maxQueued = 0;
    const uint32_t burst = now;
    while (now - burst < 5000) {
        link.tick(now += 10);
        maxQueued = std::max<int>(maxQueued, link.queued());
        // The line carries up to 8 frames per tick (a fast link).
        for (int i = 0; i < 8; ++i) {
            ORQ::MessageQueue* q = link.ms->getMessageQueue();
            Message* m = q->getFirstMessage();
            if (!m) break;
            if (m->dataType == 3) {
                if (firstAsked[m->receiverID] < 0) firstAsked[m->receiverID] = static_cast<int>(now - burst);
                ++asked[m->receiverID];
            }
            q->deleteFirst();
        }
    }
    int lastFirst = 0, mostAsked = 0;
    for (int id = 1; id <= 255; ++id) {
        if (id == myID) continue;
        EXPECT_GE(firstAsked[id], 0) << "never asked: " << id;
        EXPECT_LE(asked[id], 5) << id;
        lastFirst = std::max(lastFirst, firstAsked[id]);
        mostAsked = std::max(mostAsked, asked[id]);
    }
    EXPECT_LE(maxQueued, 35);  // less than half of the 71 the queue holds
    std::cout << "[discovery] 254 senders: last first request " << lastFirst << " ms after the burst, at most "
              << mostAsked << " requests each in 5 s, queue at most " << maxQueued << std::endl;
}

// The same burst on a line that takes nothing: the requests stop once the
// queue is half full, 35 of its 71, and the rest stays the host's.
TEST_F(Discovery, ABurstOnALineThatTakesNothingFillsHalfTheQueueAtMost) {
    for (int id = 2; id <= 255; ++id) hear(54, {0}, static_cast<uint8_t>(id));
    int maxQueued = 0;
    for (const uint32_t burst = now; now - burst < 5000;) {
        link.tick(now += 10);
        maxQueued = std::max<int>(maxQueued, link.queued());
    }
    EXPECT_EQ(maxQueued, 35);
}

TEST_F(Discovery, SilentPlaceholderIsDroppedAndTheNextMessageStartsAgain) {
    hear(54, {0});
    ORQ::Component* first = wm->getComponent(nodeID);
    ASSERT_NE(first, nullptr);

    link.tick(300000);
    EXPECT_EQ(wm->getComponent(nodeID), first);
    link.tick(300001);
    EXPECT_EQ(wm->getComponent(nodeID), nullptr);

    hear(54, {0});
    EXPECT_NE(wm->getComponent(nodeID), nullptr);
}

}  // namespace
