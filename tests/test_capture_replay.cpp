// Replay of a capture: the order in which ticks and received chunks are
// handed to the library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "CaptureFormat.h"
#include "CaptureReplay.h"

using ORQ::CaptureFormat;
using ORQ::CaptureReplay;
using Bytes = std::vector<uint8_t>;

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

// A capture written record by record, with the times the test chooses.
class CaptureBuilder {
public:
    CaptureBuilder() {
        CaptureFormat::Header h;
        h.ownID = 1;
        h.connection = CaptureFormat::textOf("test");
        bytes = CaptureFormat::encodeHeader(h);
    }
    CaptureBuilder& add(uint8_t kind, uint64_t micros, const Bytes& payload) {
        const std::size_t at = bytes.size();
        bytes.resize(at + CaptureFormat::recordOverhead + payload.size());
        CaptureFormat::encodeRecordHead(&bytes[at], kind, micros, static_cast<uint16_t>(payload.size()));
        std::copy(payload.begin(), payload.end(), bytes.begin() + at + CaptureFormat::recordHeadSize);
        const std::size_t body = CaptureFormat::recordHeadSize + payload.size();
        CaptureFormat::put32(&bytes[at + body], CaptureFormat::crc32(&bytes[at], body));
        return *this;
    }
    void save(const std::string& path) const {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    Bytes bytes;
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
