// The shortcuts of the hot paths keep the behaviour of the long ways round:
// the send queue tells its consumer of new work instead of making it poll, and
// a flight-board model hands each report straight to the handler of its data
// type with the same effect as offering it to every handler.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "models/ComponentVKRClient.h"
#include "DataTypes.h"
#include "ManagerHarness.h"
#include "wire/Message.h"
#include "wire/MessageQueue.h"
#include "RecordingHandler.h"
#include "routing/WorldModel.h"

namespace {

namespace DataType = ORQ::DataType;

ORQ::Message queued(uint8_t dataType) {
    ORQ::Message m;
    m.dataType = dataType;
    m.senderID = 1;
    m.receiverID = 5;
    return m;
}

TEST(SendQueueHook, TellsTheConsumerOfEveryMessageQueuedOrRefreshedUntilCleared) {
    ORQ::MessageQueue q;
    unsigned calls = 0;
    q.setOnQueued([&] { ++calls; });
    ORQ::Message m = queued(DataType::temperature.set);
    q.add(&m);
    EXPECT_EQ(1u, calls);
    ASSERT_NE(q.getFirstMessage(), nullptr);  // the consumer holds the head
    ORQ::Message behind = queued(DataType::gpsMode.set);
    q.add(&behind);
    EXPECT_EQ(2u, calls) << "queued behind a taken head";
    q.add(&behind);
    EXPECT_EQ(3u, calls) << "a refresh";
    EXPECT_EQ(2, q.getElementCount());
    q.setOnQueued(nullptr);
    ORQ::Message later = queued(DataType::rcReceiver.set);
    q.add(&later);
    EXPECT_EQ(3u, calls);
}

TEST(SendQueueHook, SaysNothingOfARefusedMessage) {
    ORQ::MessageQueue q;
    unsigned calls = 0;
    q.setOnQueued([&] { ++calls; });
    for (unsigned i = 0; i < ORQ::MessageQueue::maxElements; ++i) {
        ORQ::Message m = queued(DataType::temperature.set);
        m.channel = static_cast<uint8_t>(i);
        ASSERT_TRUE(q.add(&m));
    }
    ORQ::Message refused = queued(DataType::gpsMode.set);
    EXPECT_FALSE(q.add(&refused));
    EXPECT_EQ(unsigned(ORQ::MessageQueue::maxElements), calls);
}

// Two flight boards fed the same messages: one as built, the other with one
// more handler (which accepts nothing), so that it offers every message to
// every handler.
class BoardDispatch : public ::testing::Test {
protected:
    BoardDispatch() {
        indexed = new ORQ::ComponentVKRClient(5);
        walked = new ORQ::ComponentVKRClient(6);
        harness.mm.getWorldModel()->addComponent(indexed);
        harness.mm.getWorldModel()->addComponent(walked);
        walked->addMessageHandler(&extra);
    }

    void feedBoth(uint8_t dataType, uint8_t channel, const std::vector<uint8_t>& payload) {
        for (ORQ::ComponentVKRClient* c : {indexed, walked}) {
            ORQ::Message m;
            m.dataType = dataType;
            m.senderID = c->ID;
            m.receiverID = 1;
            m.channel = channel;
            ORQ::Message copy = m;  // payload set below
            copy.dataSize = static_cast<uint8_t>(payload.size());
            for (size_t i = 0; i < payload.size(); ++i) copy.data[i] = payload[i];
            c->procNewMessage(&copy);
        }
    }

    static std::vector<ORQ::MessageHandler*> handlers(ORQ::ComponentVKRClient* c) {
        return {c->adxlClient,     c->gyroClient,          c->dcmClient,       c->magClient,
                c->pressureClient, c->distClient,          c->motorOnClient,   c->hwStateClient,
                c->cmdClient,      c->HWVersionClient,     c->FWVersionClient, c->FCVersionClient,
                c->temperatureClient, c->gpsModeClient,    c->gpsModeIsClient, c->rcReceiverClient,
                c->currentPositionClient, c->debugDataClient, c->waypointClient, c->dcmAccZClient,
                c->gyrohcmClient,  c->debugTextClient,     c->secureCommandClient, c->heartbeatClient,
                c->activControlClient, c->pwmOutputClient};
    }

    ORQ::test::ManagerHarness harness;
    ORQ::ComponentVKRClient* indexed;
    ORQ::ComponentVKRClient* walked;
    ORQ::test::RecordingHandler extra;
};

TEST_F(BoardDispatch, HandlerAddedAfterConstructionIsOfferedEveryMessage) {
    feedBoth(DataType::acc.report, 0, {1, 0, 2, 0, 3, 0});
    feedBoth(200, 0, {});  // no data type of the protocol
    feedBoth(DataType::heartbeat.report, 0, {1});
    EXPECT_EQ(extra.offeredSenders, (std::vector<uint8_t>{6, 6, 6}));
}

TEST_F(BoardDispatch, DirectDispatchHasTheEffectOfOfferingToEveryHandler) {
    // Every data type, with payload sizes that suit the various handlers and
    // some that suit none, on two channels.
    for (unsigned type = 0; type < 256; ++type) {
        for (uint8_t size : {0, 1, 2, 4, 6, 8, 12, 13, 18, 30}) {
            for (uint8_t channel : {0, 1}) {
                std::vector<uint8_t> payload(size);
                for (uint8_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(type * 7 + i * 13 + channel);
                feedBoth(static_cast<uint8_t>(type), channel, payload);
            }
        }
    }
    const std::vector<ORQ::MessageHandler*> a = handlers(indexed);
    const std::vector<ORQ::MessageHandler*> b = handlers(walked);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i]->dataCount, b[i]->dataCount) << "handler " << i;
        EXPECT_GT(a[i]->dataCount, 0) << "handler " << i << " never took a message";
    }
    EXPECT_EQ(indexed->recvMessageCounter, walked->recvMessageCounter);
    EXPECT_EQ(indexed->acc[0].x, walked->acc[0].x);
    EXPECT_EQ(indexed->dcm[1].z, walked->dcm[1].z);
    EXPECT_EQ(indexed->gyro[0].y, walked->gyro[0].y);
    EXPECT_EQ(indexed->compass[1].x, walked->compass[1].x);
    EXPECT_EQ(indexed->pressure[1], walked->pressure[1]);
    EXPECT_EQ(indexed->dist[1], walked->dist[1]);
    EXPECT_EQ(indexed->pwmOutput[1], walked->pwmOutput[1]);
    EXPECT_EQ(indexed->rcReceiver[1], walked->rcReceiver[1]);
    EXPECT_EQ(indexed->secureCommand[0], walked->secureCommand[0]);
    EXPECT_EQ(indexed->activControl, walked->activControl);
    EXPECT_EQ(indexed->currentPosition[0].latitude, walked->currentPosition[0].latitude);
    EXPECT_EQ(indexed->waypoint[1].point.Position.latitude, walked->waypoint[1].point.Position.latitude);
    for (int k = 0; k < 21; ++k) EXPECT_EQ(indexed->debugData[k], walked->debugData[k]) << k;
    for (int k = 0; k < 20; ++k) EXPECT_EQ(indexed->debugText[k], walked->debugText[k]) << k;
}

}  // namespace
