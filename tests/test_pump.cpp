// The pump between a link and the core, over a link the test feeds: the same
// bytes route the same messages however the reads cut them, and during a
// replay the manager's time is the capture's, at any speed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/optional.hpp>

#include "CaptureBuilder.h"
#include "DeviceFrames.h"
#include "ProcessProbe.h"
#include "StdoutCapture.h"
#include "TestMessages.h"
#include "capture/CaptureFormat.h"
#include "datamaps/DeviceModelFactory.h"
#include "host/Pump.h"
#include "link/ReplayLink.h"
#include "routing/MessageDebugger.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

using namespace ORQ::test;
using namespace std::chrono_literals;

namespace {

const std::chrono::milliseconds kDeadline(20000);
const uint8_t kOwnID = 1;

// A link that reads what the test hands it, each hand-over as one read on
// its I/O thread, and writes nowhere.
class FedLink : public ORQ::Link {
public:
    FedLink() : Link(ORQ::ConnectionString::parse("tcp://127.0.0.1:9")) {}
    ~FedLink() override { stopForDestruction(); }

    void read(const Bytes& bytes) {
        post([this, bytes] {
            std::copy(bytes.begin(), bytes.end(), buffer);
            ReadHandler h = std::move(pending);
            h(boost::system::error_code(), bytes.size());
        });
    }

protected:
    void openLink(const OpenHandler& done) override {
        // A read waiting for the test is no pending operation of the context:
        // the guard keeps its thread running until the link is stopped.
        work.emplace(ioContext().get_executor());
        done(true);
    }
    bool linkIsOpen() const override { return true; }
    void readSome(uint8_t* into, std::size_t, const ReadHandler& handler) override {
        buffer = into;
        pending = handler;
    }
    void writeAll(const uint8_t*, std::size_t size, const ReadHandler& handler) override {
        post([handler, size] { handler(boost::system::error_code(), size); });
    }
    void cancelLink() override { work.reset(); }
    void closeLink() override {}
    void releaseLink() override {}

private:
    uint8_t* buffer = nullptr;  // I/O thread
    ReadHandler pending;        // I/O thread
    boost::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work;
};

// Every message the manager routes, with the manager's time then.
class Routed : public ORQ::MessageDebugger {
public:
    explicit Routed(ORQ::MessageManager& mm) : mm(mm) {}
    void procMessage(ORQ::Message* m, ORQ::MessageSystem*) override {
        std::string line = std::to_string(m->dataType) + " from " + std::to_string(m->senderID) + ":";
        for (uint8_t i = 0; i < m->dataSize; ++i) line += " " + std::to_string(m->data[i]);
        line += " at " + std::to_string(mm.getTime());
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    }
    std::vector<std::string> all() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }

private:
    ORQ::MessageManager& mm;
    std::mutex mutex;
    std::vector<std::string> lines;
};

// A manager and message system set up as a start of the library sets them.
struct Core {
    Core() : routed(mm) {
        mm.setObserve(1);
        mm.setAutoAddNewComponents(1);
        mm.setComponentFactory(&ORQ::makeDeviceModel);
        mm.addMessageSystem(&ms);
        mm.setMyID(kOwnID);
        mm.setMessageDebugger(&routed);
    }
    ~Core() { mm.setMessageDebugger(nullptr); }
    ORQ::MessageManager mm;
    ORQ::MessageSystem ms;
    Routed routed;
};

// The messages `reads` route, handed over one read each.
std::vector<std::string> routeReads(const std::vector<Bytes>& reads) {
    Core core;
    FedLink link;
    ORQ::Pump pump(link, core.ms, core.mm, ORQ::Pump::Clock::none);
    EXPECT_EQ(ORQ::Pump::Started::yes, pump.start());
    std::size_t total = 0;
    for (const Bytes& r : reads) {
        link.read(r);
        total += r.size();
    }
    EXPECT_TRUE(eventually([&] { return core.ms.statistics().receivedBytes == total; }, kDeadline));
    pump.stop();
    return core.routed.all();
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(PumpReceive, EveryCutOfTheBytesIntoTwoReadsRoutesTheSameMessages) {
    StdoutCapture out;
    Bytes damaged = smalFrame(54, 9, kOwnID, 0, {7});
    damaged[damaged.size() - 2] ^= 0x01;  // the check byte no longer fits
    const Bytes stream = concat({{0x55, 0x13},
                                 smalFrame(54, 7, kOwnID, 0, {0xFD, 0xFC, 0x7D}),  // each escaped
                                 damaged,
                                 smalFrame(54, 8, kOwnID, 2, {1, 2, 3}),
                                 {0xFC},
                                 smalFrame(6, 7, kOwnID, 0, {1, 0, 2, 0, 3, 0})});
    const std::vector<std::string> whole = routeReads({stream});
    ASSERT_EQ(3u, whole.size());
    EXPECT_EQ("54 from 7: 253 252 125 at 0", whole[0]);
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        const Bytes first(stream.begin(), stream.begin() + cut);
        const Bytes second(stream.begin() + cut, stream.end());
        EXPECT_EQ(whole, routeReads({first, second})) << "cut after byte " << cut;
    }
}

// The capture's reports at 0, 15, 20 and 95 ms, each read where its 10 ms
// tick left the manager's time; and after the end, how far manager time went
// in a wall-clock interval of the test's.
struct ReplayClock {
    std::vector<std::string> routed;
    long wallMs = 0;
    long managerMs = 0;
};

ReplayClock replayAt(const std::string& path, const std::string& speed) {
    Core core;
    ORQ::ReplayLink link(ORQ::ConnectionString::parse(("replay://" + path + "?speed=" + speed).c_str()));
    ORQ::Pump pump(link, core.ms, core.mm, ORQ::Pump::Clock::own);
    EXPECT_EQ(ORQ::Pump::Started::yes, pump.start());
    EXPECT_TRUE(eventually([&] { return core.ms.statistics().linkEnded == 1; }, kDeadline));
    ReplayClock out;
    out.routed = core.routed.all();
    // After the end, time goes on from the capture's last instant at the
    // wall clock's pace: never faster, and on.
    const uint32_t endTime = core.mm.getTime();
    const auto from = std::chrono::steady_clock::now();
    EXPECT_TRUE(eventually([&] { return core.mm.getTime() >= endTime + 100; }, kDeadline));
    out.managerMs = static_cast<long>(core.mm.getTime() - endTime);
    out.wallMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - from).count());
    pump.stop();
    return out;
}

TEST(PumpReplayClock, ReportsAreReadAtTheCapturesTicksAtAnySpeedAndTimeGoesOnAfterTheEnd) {
    StdoutCapture out;
    const std::string path = ::testing::TempDir() + "orq-pump-clock-" + std::to_string(::getpid()) + ".orqcap";
    const uint8_t received = ORQ::CaptureFormat::KIND_RECEIVED;
    ORQ::test::CaptureBuilder()
        .add(received, 0, smalFrame(54, 7, kOwnID, 0, {1}))
        .add(received, 15000, smalFrame(54, 7, kOwnID, 0, {2}))
        .add(received, 20000, smalFrame(54, 7, kOwnID, 0, {3}))
        .add(received, 95000, smalFrame(54, 7, kOwnID, 0, {4}))
        .save(path);
    const std::vector<std::string> expected = {"54 from 7: 1 at 0", "54 from 7: 2 at 10", "54 from 7: 3 at 20",
                                               "54 from 7: 4 at 90"};
    for (const char* speed : {"0", "1", "4"}) {
        const ReplayClock r = replayAt(path, speed);
        EXPECT_EQ(expected, r.routed) << "speed " << speed;
        // One tick of 10 ms may fall in the interval beyond its wall time.
        EXPECT_LE(r.managerMs, r.wallMs + 10) << "speed " << speed;
    }
    std::remove(path.c_str());
}

}  // namespace
