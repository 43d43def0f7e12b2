// Capture files: what the writer records is what the reader gives back; a
// file the reader does not know is refused with a clear message; a damaged or
// cut-short file is read up to its last whole record; chunks the writer
// cannot keep (ring full, file cannot grow) are counted in gap records.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureFormat.h"
#include "capture/CaptureReader.h"
#include "capture/CaptureWriter.h"

using ORQ::CaptureFormat;
using ORQ::CaptureReader;
using ORQ::CaptureWriter;
using Bytes = std::vector<uint8_t>;

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/orq-capture-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf " + path).c_str()); }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<CaptureReader::Record> readAll(CaptureReader& reader) {
    std::vector<CaptureReader::Record> records;
    CaptureReader::Record r;
    while (reader.next(r)) records.push_back(r);
    return records;
}

// Every chunk recorded is either in the file or counted by a gap record.
struct Tally {
    uint64_t chunks = 0;
    uint64_t gapChunks = 0;
    uint64_t gapRecords = 0;
    bool endsWithGap = false;
};

Tally tally(const std::vector<CaptureReader::Record>& records) {
    Tally t;
    for (const CaptureReader::Record& r : records) {
        if (r.kind == CaptureFormat::KIND_GAP) {
            t.gapChunks += CaptureFormat::decodeGap(r.bytes.data()).chunks;
            ++t.gapRecords;
        } else {
            ++t.chunks;
        }
    }
    t.endsWithGap = !records.empty() && records.back().kind == CaptureFormat::KIND_GAP;
    return t;
}

// A capture of three chunks: received, written, received.
const Bytes kChunk1{0xFD, 0x03, 0x36, 0x05, 0x01, 0x00, 0x01, 0x32, 0xFC};
const Bytes kChunk2{0xFD, 0x03, 0x03, 0x01, 0x05, 0x00, 0x06, 0xFC};
const Bytes kChunk3{0x11, 0x22, 0x33};

std::string writeSample(const TempDir& dir) {
    const std::string path = dir.file("sample.orqcap");
    std::unique_ptr<CaptureWriter> w = CaptureWriter::create(path.c_str());
    EXPECT_TRUE(w);
    EXPECT_TRUE(w->start(7, "/dev/ttyUSB0"));
    w->record(CaptureWriter::RECEIVED, kChunk1.data(), kChunk1.size());
    w->record(CaptureWriter::WRITTEN, kChunk2.data(), kChunk2.size());
    w->record(CaptureWriter::RECEIVED, kChunk3.data(), kChunk3.size());
    w->stop();
    return path;
}

// Runs body in a child process whose files may not grow beyond 16 KiB (the
// test runner's limit is left alone); the child's exit code, -1 when it died.
int inSizeLimitedChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        // A process that limits its file size ignores SIGXFSZ and sees EFBIG.
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {16384, 16384};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

TEST(CaptureFile, WhatIsRecordedIsReadBackInOrder) {
    TempDir dir;
    const std::string path = writeSample(dir);
    CaptureReader reader(path.c_str());
    ASSERT_TRUE(reader.ok()) << reader.error();
    EXPECT_EQ(reader.header().ownID, 7);
    EXPECT_STREQ(reader.header().connectionText(), "/dev/ttyUSB0");
    EXPECT_EQ(reader.header().version, 1);
    EXPECT_GT(reader.header().startMicros, 1600000000LL * 1000000);
    const auto records = readAll(reader);
    EXPECT_EQ(reader.end(), CaptureReader::End::CLEAN);
    EXPECT_STREQ(reader.error(), "");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].kind, CaptureFormat::KIND_RECEIVED);
    EXPECT_EQ(records[0].bytes, kChunk1);
    EXPECT_EQ(records[1].kind, CaptureFormat::KIND_WRITTEN);
    EXPECT_EQ(records[1].bytes, kChunk2);
    EXPECT_EQ(records[2].bytes, kChunk3);
    EXPECT_LE(records[0].micros, records[1].micros);
    EXPECT_LE(records[1].micros, records[2].micros);
}

TEST(CaptureFile, ACaptureThatCannotBeCreatedIsReported) {
    EXPECT_FALSE(CaptureWriter::create("/nonexistent-directory/x.orqcap"));
}

// Each damaged file: how it is made from the sample, what the reader says,
// and how many records it still hands out.
struct Damage {
    const char* name;
    std::function<void(Bytes&)> apply;
    bool refused;
    const char* message;
    std::size_t recordsRead;
    CaptureReader::End end;
};

class CaptureDamage : public ::testing::TestWithParam<Damage> {};

namespace {

const std::size_t kHeaderSize = 24 + 12 + 4;  // "/dev/ttyUSB0"
const std::size_t kLastRecordSize = CaptureFormat::recordOverhead + 3;

void setVersion(Bytes& b, uint16_t version) {
    CaptureFormat::put16(&b[8], version);
    CaptureFormat::put32(&b[kHeaderSize - 4], CaptureFormat::crc32(b.data(), kHeaderSize - 4));
}

const Damage kDamages[] = {
    {"TruncatedMidRecord", [](Bytes& b) { b.resize(b.size() - 2); }, false, "capture truncated", 2,
     CaptureReader::End::TRUNCATED},
    {"TruncatedInRecordHead", [](Bytes& b) { b.resize(b.size() - kLastRecordSize + 5); }, false,
     "capture truncated", 2, CaptureReader::End::TRUNCATED},
    {"CorruptHeader", [](Bytes& b) { b[30] ^= 0x01; }, true, "corrupt header", 0, CaptureReader::End::REFUSED},
    {"HeaderCutShort", [](Bytes& b) { b.resize(20); }, true, "corrupt header", 0, CaptureReader::End::REFUSED},
    {"FutureVersion", [](Bytes& b) { setVersion(b, 2); }, true, "version 2 is newer than this reader", 0,
     CaptureReader::End::REFUSED},
    {"BadMagic", [](Bytes& b) { b[0] = 'X'; }, true, "not a capture file", 0, CaptureReader::End::REFUSED},
    {"DamagedSecondRecord",
     [](Bytes& b) { b[kHeaderSize + CaptureFormat::recordOverhead + kChunk1.size() + 12] ^= 0x40; }, false,
     "damaged record", 1, CaptureReader::End::DAMAGED},
    {"UnusedReserveAfterACrash", [](Bytes& b) { b.insert(b.end(), 31, 0); }, false, "capture not closed", 3,
     CaptureReader::End::UNCLOSED},
};

}  // namespace

TEST_P(CaptureDamage, IsReportedAndNothingBeyondTheLastWholeRecordIsUsed) {
    const Damage& d = GetParam();
    TempDir dir;
    const std::string path = writeSample(dir);
    Bytes bytes = readFile(path);
    d.apply(bytes);
    writeFile(path, bytes);

    CaptureReader reader(path.c_str());
    EXPECT_EQ(reader.ok(), !d.refused);
    const auto records = readAll(reader);
    EXPECT_EQ(records.size(), d.recordsRead);
    EXPECT_EQ(reader.end(), d.end);
    EXPECT_NE(std::string(reader.error()).find(d.message), std::string::npos) << reader.error();
    if (!records.empty()) {
        EXPECT_EQ(records[0].bytes, kChunk1);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CaptureDamage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& p) { return std::string(p.param.name); });

TEST(CaptureFile, ChunksThatDoNotFitTheBufferAreCountedInGapRecords) {
    TempDir dir;
    const std::string path = dir.file("burst.orqcap");
    std::unique_ptr<CaptureWriter> w = CaptureWriter::create(path.c_str(), 4096);
    ASSERT_TRUE(w->start(1, "burst"));
    // Far more than the ring holds, faster than the writer takes it.
    const Bytes chunk(200, 0x55);
    const int total = 2000;
    for (int i = 0; i < total; ++i) w->record(CaptureWriter::RECEIVED, chunk.data(), chunk.size());
    w->stop();
    const uint64_t dropped = w->droppedChunks();

    CaptureReader reader(path.c_str());
    const Tally t = tally(readAll(reader));
    EXPECT_EQ(reader.end(), CaptureReader::End::CLEAN) << reader.error();
    EXPECT_GT(dropped, 0u);
    EXPECT_GT(t.gapRecords, 0u);
    EXPECT_EQ(t.gapChunks, dropped);
    EXPECT_EQ(t.chunks + t.gapChunks, static_cast<uint64_t>(total));
}

TEST(CaptureFile, AFileThatCannotGrowEndsWithItsGapRecord) {
    TempDir dir;
    const std::string path = dir.file("limited.orqcap");
    const int total = 400;
    ASSERT_EQ(0, inSizeLimitedChild([&] {
        std::unique_ptr<CaptureWriter> w = CaptureWriter::create(path.c_str(), 4096);
        if (!w || !w->start(1, "limited")) return 11;
        const Bytes chunk(100, 0x33);
        for (int i = 0; i < total; ++i) {
            w->record(CaptureWriter::WRITTEN, chunk.data(), chunk.size());
            usleep(200);
        }
        w->stop();
        return w->droppedChunks() > 0 ? 0 : 12;
    })) << "the writer's process";

    CaptureReader reader(path.c_str());
    const Tally t = tally(readAll(reader));
    EXPECT_EQ(reader.end(), CaptureReader::End::CLEAN) << reader.error();
    EXPECT_TRUE(t.endsWithGap);
    EXPECT_EQ(t.chunks + t.gapChunks, static_cast<uint64_t>(total));
    EXPECT_LE(readFile(path).size(), 16384u);
}

// --- Gap records count exactly what was lost, where and when -------------------

namespace {

using Clock = std::chrono::steady_clock;

// Chunks handed to a writer, each numbered in its first four bytes, with the
// bounds of the time the writer can have given it.
class Sender {
public:
    explicit Sender(CaptureWriter& w) : writer(w) {
        const auto before = Clock::now();
        EXPECT_TRUE(writer.start(1, "gaps"));
        startBefore = before;
        startAfter = Clock::now();
    }
    void send(std::size_t size) {
        Bytes chunk(size, static_cast<uint8_t>(sent.size()));
        CaptureFormat::put32(chunk.data(), static_cast<uint32_t>(sent.size()));
        const auto before = Clock::now();
        writer.record(CaptureWriter::RECEIVED, chunk.data(), chunk.size());
        const auto after = Clock::now();
        sent.push_back({size, micros(before - startAfter), micros(after - startBefore)});
    }
    struct Sent {
        std::size_t size;
        int64_t earliest;
        int64_t latest;
    };
    std::vector<Sent> sent;

private:
    static int64_t micros(Clock::duration d) { return std::chrono::duration_cast<std::chrono::microseconds>(d).count(); }
    CaptureWriter& writer;
    Clock::time_point startBefore;
    Clock::time_point startAfter;
};

bool within(uint64_t micros, const Sender::Sent& s) {
    return static_cast<int64_t>(micros) >= s.earliest && static_cast<int64_t>(micros) <= s.latest;
}

// Walks the file: every chunk sent is either there, whole and in order, or
// counted by the gap records standing where it was lost: their chunk and byte
// counts are those of the chunks missing there, the first one's time is that
// of the first chunk lost, the last one's end time that of the last. The
// first mismatch, or "" with the number of gap records.
std::string account(const std::vector<Sender::Sent>& sent, const std::vector<CaptureReader::Record>& records,
                    std::size_t& gapRecords) {
    std::size_t next = 0;
    CaptureFormat::Gap gaps;  // the gap records since the last chunk, summed
    uint64_t gapsFirst = 0;
    gapRecords = 0;
    auto settle = [&](std::size_t upTo) -> std::string {
        uint64_t bytes = 0;
        for (std::size_t i = next; i < upTo; ++i) bytes += sent[i].size;
        const std::string where = "chunks " + std::to_string(next) + " to " + std::to_string(upTo) + ": ";
        if (gaps.chunks != upTo - next) return where + "gap counts " + std::to_string(gaps.chunks) + " chunks";
        if (gaps.bytes != bytes) return where + "gap counts " + std::to_string(gaps.bytes) + " bytes, lost " + std::to_string(bytes);
        if (upTo > next && !within(gapsFirst, sent[next])) return where + "gap time " + std::to_string(gapsFirst) + " is not the first lost chunk's";
        if (upTo > next && !within(gaps.lastMicros, sent[upTo - 1])) return where + "gap end time " + std::to_string(gaps.lastMicros) + " is not the last lost chunk's";
        gaps = CaptureFormat::Gap();
        return "";
    };
    for (const CaptureReader::Record& r : records) {
        if (r.kind == CaptureFormat::KIND_GAP) {
            const CaptureFormat::Gap g = CaptureFormat::decodeGap(r.bytes.data());
            if (gaps.chunks == 0) gapsFirst = r.micros;
            gaps.chunks += g.chunks;
            gaps.bytes += g.bytes;
            gaps.lastMicros = g.lastMicros;
            ++gapRecords;
            continue;
        }
        const std::size_t index = CaptureFormat::get32(r.bytes.data());
        if (index < next || index >= sent.size()) return "chunk " + std::to_string(index) + " out of order";
        if (r.bytes.size() != sent[index].size) return "chunk " + std::to_string(index) + " changed size";
        if (!within(r.micros, sent[index])) return "chunk " + std::to_string(index) + " has the wrong time";
        const std::string problem = settle(index);
        if (!problem.empty()) return problem;
        next = index + 1;
    }
    return settle(sent.size());
}

// Chunk i's size: mostly small; every seventh larger than a ring of 4096
// bytes holds, so lost whatever the writer does, and a gap then spans the
// times it was sent at.
std::size_t sizeOf(std::size_t i) {
    return i % 7 == 6 ? 5000 + i : 8 + (i * 37) % 300;
}

}  // namespace

// The ring overflows in bursts, a few milliseconds apart.
TEST(CaptureGaps, ChunksLostInTheBufferAreCountedExactly) {
    TempDir dir;
    const std::string path = dir.file("burst.orqcap");
    std::unique_ptr<CaptureWriter> w = CaptureWriter::create(path.c_str(), 4096);
    ASSERT_TRUE(w);
    Sender sender(*w);
    for (int burst = 0; burst < 12; ++burst) {
        for (int i = 0; i < 60; ++i) sender.send(sizeOf(sender.sent.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    // Lost one by one, a few milliseconds apart: one gap from the first to the last.
    for (int i = 0; i < 3; ++i) {
        sender.send(5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    sender.send(10);
    w->stop();
    ASSERT_GT(w->droppedChunks(), 0u);
    CaptureReader reader(path.c_str());
    std::size_t gapRecords = 0;
    EXPECT_EQ("", account(sender.sent, readAll(reader), gapRecords));
    EXPECT_EQ(reader.end(), CaptureReader::End::CLEAN) << reader.error();
    EXPECT_GT(gapRecords, 0u);
}

// The disk refuses to grow the file: everything after the limit is lost and
// counted in the gap record that ends the capture. In a child, whose file size
// limit does not touch the test runner; the child reports the first mismatch.
TEST(CaptureGaps, ChunksTheDiskRefusedAreCountedExactly) {
    TempDir dir;
    const std::string path = dir.file("limited.orqcap");
    const std::string report = dir.file("report.txt");
    ASSERT_EQ(0, inSizeLimitedChild([&] {
        std::unique_ptr<CaptureWriter> w = CaptureWriter::create(path.c_str(), 4096);
        if (!w) return 11;
        Sender sender(*w);
        for (int i = 0; i < 150; ++i) {
            sender.send(sizeOf(static_cast<std::size_t>(i)));
            usleep(2000);
        }
        w->stop();
        CaptureReader reader(path.c_str());
        std::size_t gapRecords = 0;
        std::string result = account(sender.sent, readAll(reader), gapRecords);
        if (result.empty() && gapRecords == 0) result = "no gap record";
        if (result.empty() && reader.end() != CaptureReader::End::CLEAN) result = reader.error();
        std::FILE* f = std::fopen(report.c_str(), "w");
        if (f == nullptr) return 12;
        std::fputs(result.c_str(), f);
        std::fclose(f);
        return 0;
    }));
    const Bytes text = readFile(report);
    EXPECT_EQ("", std::string(text.begin(), text.end()));
}
