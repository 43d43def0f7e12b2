// Replay of a capture: the order in which ticks and received chunks are
// handed to the library; a flight of the simulator recorded through liborq.so
// and replayed, which must end in the values the live run ended in; and
// replays that must go through the same world-model states at any speed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CaptureBuilder.h"
#include "capture/CaptureFormat.h"
#include "capture/CaptureReplay.h"
#include "link/ConnectionString.h"
#include "datamaps/DeviceModelFactory.h"
#include "host/Dll.h"
#include "HostCalls.h"
#include "HostLibrary.h"
#include "routing/MessageDebugger.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "ProcessProbe.h"
#include "host/Pump.h"
#include "link/ReplayLink.h"
#include "Simulator.h"
#include "Watchdog.h"

using namespace std::chrono_literals;

using ORQ::CaptureFormat;
using ORQ::CaptureReplay;
using Bytes = std::vector<uint8_t>;
using ORQ::test::CaptureBuilder;

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/orq-replay-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf " + path).c_str()); }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

std::string describe(const CaptureReplay::Event& e) {
    switch (e.kind) {
    case CaptureReplay::Event::TICK: return "tick " + std::to_string(CaptureReplay::managerTime(e.micros));
    case CaptureReplay::Event::CHUNK: return "chunk " + std::to_string(e.micros) + " x" + std::to_string(e.bytes.size());
    case CaptureReplay::Event::END: return "end " + std::to_string(e.micros);
    }
    return "?";
}

}  // namespace

TEST(CaptureReplay, TicksEveryTenMillisecondsOfCaptureTimeComeBeforeTheChunksTheyReach) {
    TempDir dir;
    const std::string path = dir.file("c.orqcap");
    Bytes gap(CaptureFormat::gapPayloadSize, 0);
    CaptureBuilder()
        .add(CaptureFormat::KIND_RECEIVED, 0, {1})
        .add(CaptureFormat::KIND_RECEIVED, 25000, {2, 2})
        .add(CaptureFormat::KIND_RECEIVED, 25000, {3})
        .add(CaptureFormat::KIND_WRITTEN, 30000, {9, 9, 9})
        .add(CaptureFormat::KIND_GAP, 31000, gap)
        .add(CaptureFormat::KIND_RECEIVED, 40000, {4})
        .save(path);

    CaptureReplay replay(path.c_str());
    ASSERT_TRUE(replay.ok()) << replay.error();
    std::vector<std::string> events;
    for (int i = 0; i < 20; ++i) {
        const CaptureReplay::Event e = replay.next();
        events.push_back(describe(e));
        if (e.kind == CaptureReplay::Event::END) break;
    }
    const std::vector<std::string> expected = {
        "tick 0",  "chunk 0 x1",     "tick 10",  "tick 20", "chunk 25000 x2", "chunk 25000 x1",
        "tick 30", "tick 40",        "chunk 40000 x1", "end 50000",
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(describe(replay.next()), "end 50000") << "END stays";
}

TEST(CaptureReplay, ARefusedCaptureSaysWhy) {
    TempDir dir;
    const std::string path = dir.file("bad.orqcap");
    CaptureBuilder b;
    b.bytes[0] = 'x';
    b.save(path);
    CaptureReplay replay(path.c_str());
    EXPECT_FALSE(replay.ok());
    EXPECT_NE(std::string(replay.error()).find("not a capture file"), std::string::npos);
    EXPECT_EQ(replay.next().kind, CaptureReplay::Event::END);
}

// --- A recorded flight, replayed -------------------------------------------------

namespace {

const int kOwnID = 1;
const int kBoard = 5;
const int kStation = 6;

struct Read {
    int dataID;
    int indexes;
};

// Every value the data maps read, the library's own bookkeeping included
// (46 messages received, 48 alive, 51 age): a replay must reproduce it all.
const std::vector<Read> kBoardReads = {
    {1, 1},  {2, 1},  {3, 1},  {4, 1},  {5, 1},  {6, 1},  {7, 1},  {8, 1},  {9, 2},   {10, 2}, {11, 2},
    {12, 4}, {13, 2}, {14, 1}, {15, 2}, {16, 2}, {17, 2}, {18, 1}, {19, 1}, {20, 1},  {22, 1}, {23, 3},
    {24, 3}, {25, 3}, {27, 3}, {28, 3}, {30, 1}, {32, 1}, {35, 1}, {39, 21}, {41, 1}, {42, 1}, {44, 1},
    {46, 1}, {48, 1}, {51, 1},
};
const std::vector<Read> kStationReads = {
    {1, 1},  {2, 1},  {3, 1},  {4, 1},  {5, 1},  {6, 1},  {7, 1},  {8, 1},  {9, 2},  {10, 2}, {11, 2},
    {13, 1}, {14, 1}, {15, 1}, {16, 1}, {17, 1}, {29, 8}, {30, 1}, {39, 10}, {48, 1}, {51, 1},
};
// The link statistics: damaged frames, frames and bytes received.
const std::vector<Read> kLinkReads = {{45, 1}, {46, 1}, {47, 1}};

using GetData = std::function<int(int, int, int*, int)>;

// Every value of both devices and of the link, one line; ageing values only
// when `withAge` (a live run and its replay read them at different instants).
std::string snapshot(const GetData& get, bool withAge) {
    std::ostringstream out;
    auto readAll = [&](int id, const std::vector<Read>& reads) {
        out << "[" << id << "]";
        for (const Read& r : reads) {
            if (!withAge && (r.dataID == 48 || r.dataID == 51) && id != kOwnID) continue;
            for (int index = 0; index < r.indexes; ++index) {
                int value = 0;
                const int code = get(id, r.dataID, &value, index);
                out << ' ' << r.dataID << '.' << index << '=' << (code == ERROR_NO ? std::to_string(value) : "E" + std::to_string(code));
            }
        }
    };
    readAll(kBoard, kBoardReads);
    readAll(kStation, kStationReads);
    readAll(kOwnID, kLinkReads);
    return out.str();
}

GetData readsOf(ORQ::test::HostCalls& host) {
    return [&host](int id, int dataID, int* value, int index) { return host.getData(id, dataID, value, index); };
}

// One replay in this process, with the link the library would make for the
// connection string: the messages it routes (a dump of what the library saw,
// with manager times) and a snapshot of the world model whenever manager
// time enters a new second, both taken on the replay's own thread.
class Observer : public ORQ::MessageDebugger {
public:
    Observer(ORQ::MessageManager& mm, ORQ::test::HostCalls& host) : mm(mm), host(host), second(0) {}
    void procMessage(ORQ::Message* m, ORQ::MessageSystem*) override {
        const uint32_t now = mm.getTime();
        while (now / 1000 >= second) {
            snapshots.push_back(std::to_string(second) + " s: " + snapshot(readsOf(host), true));
            ++second;
        }
        std::ostringstream line;
        line << now << ' ' << unsigned(m->dataType) << ' ' << unsigned(m->senderID) << "->" << unsigned(m->receiverID)
             << " ch " << unsigned(m->channel) << ':';
        for (unsigned i = 0; i < m->dataSize; ++i) line << ' ' << unsigned(m->data[i]);
        dump.push_back(line.str());
    }
    ORQ::MessageManager& mm;
    ORQ::test::HostCalls& host;
    uint32_t second;
    std::vector<std::string> snapshots;
    std::vector<std::string> dump;
};

struct ReplayRun {
    std::vector<std::string> snapshots;
    std::vector<std::string> dump;
    std::string final;
};

ReplayRun replayInProcess(const std::string& connection) {
    ORQ::MessageManager mm;
    ORQ::MessageSystem ms;
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
    mm.setComponentFactory(&ORQ::makeDeviceModel);
    mm.setBroadcast(1);
    mm.addMessageSystem(&ms);
    mm.setMyID(kOwnID);
    ORQ::test::HostCalls host(mm, ms);
    Observer observer(mm, host);
    mm.setMessageDebugger(&observer);
    ReplayRun run;
    {
        ORQ::ReplayLink link(ORQ::ConnectionString::parse(connection.c_str()));
        ORQ::Pump pump(link, ms, mm, ORQ::Pump::Clock::own);
        EXPECT_EQ(ORQ::Pump::Started::yes, pump.start());
        EXPECT_TRUE(ORQ::test::eventually([&] { return ms.statistics().linkEnded == 1; }, 60s));
        pump.stop();
        run.final = snapshot(readsOf(host), false);
    }
    run.snapshots = observer.snapshots;
    run.dump = observer.dump;
    return run;
}

}  // namespace

TEST(RecordedFlight, ReplaysToTheValuesOfTheLiveRunAndThroughTheSameStatesAtAnySpeed) {
    TempDir dir;
    const std::string path = dir.file("flight.orqcap");
    ORQ::test::HostLibrary& lib = ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY);

    // Ten seconds of the simulator's flight, recorded through liborq.so.
    ORQSim::Simulator sim;
    ASSERT_TRUE(sim.openPty());
    ASSERT_TRUE(sim.addDevice(kBoard, ORQSim::SimDevice::FlightBoard));
    ASSERT_TRUE(sim.addDevice(kStation, ORQSim::SimDevice::GroundStation));
    ASSERT_TRUE(sim.start());
    ASSERT_EQ(ERROR_NO, lib.startCapture(path.c_str()));
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(ERROR_NO, lib.callInit(kOwnID, 0, sim.path().c_str()));
    auto typeOf = [&](int id) {
        int type = -1;
        return lib.getData(id, 30, &type, 0) == ERROR_NO ? type : -1;
    };
    ASSERT_TRUE(ORQ::test::eventually([&] { return typeOf(kBoard) == 1 && typeOf(kStation) == 0; }, 30s));
    std::this_thread::sleep_until(begin + 10s);
    // A last report of every value, then silence: the live run's final values.
    sim.reportAllAndPause();
    int32_t uptime = -1;
    ASSERT_TRUE(sim.currentValue(kBoard, 44, 0, uptime));
    ASSERT_TRUE(ORQ::test::eventually(
        [&] {
            int v = -2;
            return lib.getData(kBoard, 44, &v, 0) == ERROR_NO && v == uptime;
        },
        10s));
    std::string live;
    ASSERT_TRUE(ORQ::test::eventually(
        [&] {
            const std::string before = snapshot(lib.getData, false);
            std::this_thread::sleep_for(200ms);
            live = snapshot(lib.getData, false);
            return live == before;
        },
        10s))
        << "the library settles once the devices are silent";
    lib.deinit();
    sim.stop();

    // The same capture through liborq.so, as fast as it goes.
    ASSERT_EQ(ERROR_NO, lib.callInit(kOwnID, 0, ("replay://" + path + "?speed=0").c_str()));
    ASSERT_TRUE(ORQ::test::eventually(
        [&] {
            int ended = 0;
            return lib.getData(kOwnID, 50, &ended, 0) == ERROR_NO && ended == 1;
        },
        60s));
    EXPECT_EQ(snapshot(lib.getData, false), live) << "the replayed world model holds the live run's values";
    lib.deinit();

    // Replays in this process: identical dumps and snapshot sequences,
    // whatever the speed.
    const ReplayRun first = replayInProcess("replay://" + path + "?speed=0");
    const ReplayRun second = replayInProcess("replay://" + path + "?speed=0");
    const ReplayRun paced = replayInProcess("replay://" + path + "?speed=20");
    EXPECT_GE(first.snapshots.size(), 10u);
    EXPECT_GT(first.dump.size(), 3000u);
    EXPECT_EQ(first.final, live);
    EXPECT_TRUE(first.dump == second.dump) << "two replays route the same messages at the same manager times";
    EXPECT_TRUE(first.snapshots == second.snapshots);
    EXPECT_TRUE(first.dump == paced.dump) << "a paced replay routes them too";
    EXPECT_TRUE(first.snapshots == paced.snapshots);
}

// --- Captures a writer would never make, and paces -----------------------------

namespace {

const uint64_t kMaxMicros = std::numeric_limits<uint64_t>::max();
const uint64_t kFar = uint64_t(1) << 62;
const uint64_t kLastTick = kMaxMicros / 10000 * 10000;  // the largest time a tick can have

// The events of a replay; after the tick numbered i (0 first) the manager's
// next work is dues[i] ms later, if given.
std::vector<std::string> eventsOf(const std::string& path, const std::vector<uint32_t>& dues = {}) {
    CaptureReplay replay(path.c_str());
    EXPECT_TRUE(replay.ok()) << replay.error();
    std::vector<std::string> events;
    std::size_t ticks = 0;
    for (int i = 0; i < 50; ++i) {
        const CaptureReplay::Event e = replay.next();
        events.push_back(describe(e));
        if (e.kind == CaptureReplay::Event::END) break;
        if (e.kind == CaptureReplay::Event::TICK && ticks < dues.size()) replay.skipIdleTicks(e.micros, dues[ticks++]);
    }
    return events;
}

}  // namespace

TEST(CaptureReplay, EmptyChunksAreNotHandedOver) {
    TempDir dir;
    const std::string path = dir.file("c.orqcap");
    CaptureBuilder()
        .add(CaptureFormat::KIND_RECEIVED, 0, {1})
        .add(CaptureFormat::KIND_RECEIVED, 15000, {})
        .add(CaptureFormat::KIND_RECEIVED, 15000, {2})
        .save(path);
    const std::vector<std::string> expected = {"tick 0", "chunk 0 x1", "tick 10", "chunk 15000 x1", "end 20000"};
    EXPECT_EQ(eventsOf(path), expected);
}

TEST(CaptureReplay, IdleTicksAreLeftOutUpToTheNextChunkAndTicksNeverWrap) {
    TempDir dir;
    const std::string path = dir.file("c.orqcap");
    CaptureBuilder()
        .add(CaptureFormat::KIND_RECEIVED, 0, {1})
        .add(CaptureFormat::KIND_RECEIVED, kFar, {2})
        .add(CaptureFormat::KIND_RECEIVED, kLastTick, {3})
        .add(CaptureFormat::KIND_RECEIVED, 0, {4})
        .save(path);
    // Work due at 35 ms: the tick at 40 runs. Then nothing is due: the last
    // tick before the next chunk comes (it sets the time the chunk is read
    // at), and the first one after it; past the last possible tick none comes.
    const uint32_t none = ORQ::Component::nothingDue;
    const std::vector<uint32_t> dues = {0, 25, none, none, none, none};
    const uint64_t farTick = kFar / 10000 * 10000;
    const std::vector<std::string> expected = {
        "tick 0",
        "chunk 0 x1",
        "tick 10",
        "tick 40",
        "tick " + std::to_string(CaptureReplay::managerTime(farTick)),
        "chunk " + std::to_string(kFar) + " x1",
        "tick " + std::to_string(CaptureReplay::managerTime(farTick + 10000)),
        "tick " + std::to_string(CaptureReplay::managerTime(kLastTick)),
        "chunk " + std::to_string(kLastTick) + " x1",
        "chunk 0 x1",
        "end " + std::to_string(kLastTick),
    };
    EXPECT_EQ(eventsOf(path, dues), expected);
}

TEST(ReplaySpeed, IsZeroOrAFiniteNumberInTheDocumentedRange) {
    struct Case {
        const char* speed;
        bool valid;
        double value;
    };
    const Case cases[] = {
        {"0", true, 0},       {"1", true, 1},       {"0.5", true, 0.5},    {"0.01", true, 0.01},
        {"1000000", true, 1e6}, {"1e-300", false, 0}, {"0.001", false, 0},  {"-1", false, 0},
        {"nan", false, 0},    {"inf", false, 0},    {"1e300", false, 0},   {"1000001", false, 0},
        {"", false, 0},       {"1x", false, 0},     {" 1", false, 0},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("replay://f?speed=") + c.speed;
        const ORQ::ConnectionString parsed = ORQ::ConnectionString::parse(text.c_str());
        EXPECT_EQ(parsed.kind() == ORQ::ConnectionString::Replay, c.valid) << text;
        if (c.valid) {
            EXPECT_EQ(parsed.speed(), c.value) << text;
        } else {
            EXPECT_STREQ(parsed.error(), "bad option (expected ?speed=N, N 0 or from 0.01 to 1000000)") << text;
        }
    }
}

namespace {

// One replay of a capture in this process: started, let run until `ready`,
// stopped; how long the stop took. A step that never returns ends the
// program (the watchdog) instead of hanging the test.
struct Stopped {
    std::chrono::milliseconds stopTook{0};
    bool ended = false;
    uint32_t receivedBytes = 0;
};

Stopped replayAndStop(const std::string& connection, const std::function<bool(const ORQ::MessageSystem&)>& ready) {
    ORQ::test::Watchdog watchdog("replay of " + connection, 60s);
    ORQ::MessageManager mm;
    ORQ::MessageSystem ms;
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
    mm.setComponentFactory(&ORQ::makeDeviceModel);
    mm.addMessageSystem(&ms);
    mm.setMyID(kOwnID);
    Stopped out;
    ORQ::ReplayLink link(ORQ::ConnectionString::parse(connection.c_str()));
    ORQ::Pump pump(link, ms, mm, ORQ::Pump::Clock::own);
    pump.start();
    EXPECT_TRUE(ORQ::test::eventually([&] { return ready(ms); }, 20s)) << connection;
    const auto before = std::chrono::steady_clock::now();
    pump.stop();
    out.stopTook = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
    out.ended = ms.statistics().linkEnded == 1;
    out.receivedBytes = ms.statistics().receivedBytes;
    return out;
}

struct Malformed {
    const char* name;
    std::function<void(CaptureBuilder&)> build;
    uint32_t receivedBytes;  // handed to the library, all of it
};

const Bytes kFrame = {0xFD, 0x03, 0x36, 0x05, 0x01, 0x00, 0x01, 0x32, 0xFC};

const Malformed kMalformed[] = {
    {"FarFutureRecord",
     [](CaptureBuilder& b) { b.add(CaptureFormat::KIND_RECEIVED, 0, kFrame).add(CaptureFormat::KIND_RECEIVED, kFar, {1, 2}); },
     11},
    {"LargestTime", [](CaptureBuilder& b) { b.add(CaptureFormat::KIND_RECEIVED, kMaxMicros, kFrame); }, 9},
    {"EmptyPayloads",
     [](CaptureBuilder& b) {
         b.add(CaptureFormat::KIND_RECEIVED, 0, {}).add(CaptureFormat::KIND_RECEIVED, 5, kFrame).add(CaptureFormat::KIND_WRITTEN, 6, {});
     },
     9},
    {"TimesGoBack",
     [](CaptureBuilder& b) { b.add(CaptureFormat::KIND_RECEIVED, 90000, kFrame).add(CaptureFormat::KIND_RECEIVED, 0, kFrame); }, 18},
    {"HeaderOnly", [](CaptureBuilder&) {}, 0},
    {"ChunkLargerThanARead", [](CaptureBuilder& b) { b.add(CaptureFormat::KIND_RECEIVED, 0, Bytes(65535, 0xFC)); }, 65535},
    {"ImpossibleGap",
     [](CaptureBuilder& b) {
         b.add(CaptureFormat::KIND_GAP, kMaxMicros, Bytes(CaptureFormat::gapPayloadSize, 0xFF)).add(CaptureFormat::KIND_RECEIVED, 1, kFrame);
     },
     9},
};

class MalformedCapture : public ::testing::TestWithParam<Malformed> {};

}  // namespace

// Each replayed as fast as it goes: it ends, every byte it holds reaches the
// library, and nothing reads or computes outside its bounds (the sanitizer
// runs watch that).
TEST_P(MalformedCapture, ReplaysToItsEndAndStopsPromptly) {
    TempDir dir;
    const std::string path = dir.file("m.orqcap");
    CaptureBuilder b;
    GetParam().build(b);
    b.save(path);
    const Stopped s = replayAndStop("replay://" + path + "?speed=0", [](const ORQ::MessageSystem& ms) {
        return ms.statistics().linkEnded == 1;
    });
    EXPECT_TRUE(s.ended);
    EXPECT_EQ(s.receivedBytes, GetParam().receivedBytes);
    EXPECT_LT(s.stopTook, 1000ms);
}

INSTANTIATE_TEST_SUITE_P(Captures, MalformedCapture, ::testing::ValuesIn(kMalformed),
                         [](const ::testing::TestParamInfo<Malformed>& p) { return std::string(p.param.name); });

// A record 2^62 us ahead, at every kind of pace: the stop returns promptly
// (documented: within 200 ms) while the replay waits for it or races to it.
TEST(ReplayStop, ReturnsPromptlyAtAnySpeedWhateverTheCaptureHolds) {
    TempDir dir;
    const std::string path = dir.file("far.orqcap");
    CaptureBuilder().add(CaptureFormat::KIND_RECEIVED, 0, kFrame).add(CaptureFormat::KIND_RECEIVED, kFar, kFrame).save(path);
    for (const char* speed : {"0.01", "1", "1000", "1000000"}) {
        const Stopped s = replayAndStop("replay://" + path + "?speed=" + speed,
                                        [](const ORQ::MessageSystem& ms) { return ms.statistics().receivedBytes == 9; });
        EXPECT_FALSE(s.ended) << speed;
        EXPECT_LT(s.stopTook, 1000ms) << "speed " << speed;
    }
}
