// orq-dump's output for captures made record by record: every field in a
// column of its own, in its unit, the same columns for every file; the data
// types chosen by --type; damaged frames and gaps always shown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CaptureBuilder.h"
#include "CaptureDump.h"
#include "DeviceFrames.h"
#include "capture/CaptureFormat.h"

using ORQ::CaptureFormat;
using ORQ::test::Bytes;
using ORQ::test::CaptureBuilder;
using ORQ::test::cat;
using ORQ::test::le16;
using ORQ::test::le32;
using ORQ::test::smalFrame;
using ORQ::test::vec3;
using ORQDump::CaptureDump;

namespace {

const int board = 5;
const int own = 1;

Bytes gapRecord(uint32_t chunks, uint32_t bytes, uint64_t lastMicros) {
    Bytes payload(CaptureFormat::gapPayloadSize);
    CaptureFormat::Gap g;
    g.chunks = chunks;
    g.bytes = bytes;
    g.lastMicros = lastMicros;
    CaptureFormat::encodeGap(payload.data(), g);
    return payload;
}

// The dump of a capture holding the records 10 ms apart: received bytes, or
// a gap record for a gap's payload.
std::string dump(const std::vector<Bytes>& records, CaptureDump::Options options) {
    char pattern[] = "/tmp/orq-dump-XXXXXX";
    const int fd = mkstemp(pattern);
    close(fd);
    CaptureBuilder b;
    uint64_t micros = 0;
    for (const Bytes& r : records) {
        const bool gap = r.size() == CaptureFormat::gapPayloadSize;
        b.add(gap ? uint8_t{CaptureFormat::KIND_GAP} : uint8_t{CaptureFormat::KIND_RECEIVED}, micros += 10000, r);
    }
    b.save(pattern);
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    CaptureDump(options).run(pattern, out, stderr);
    std::fclose(out);
    std::string s(text, size);
    std::free(text);
    unlink(pattern);
    return s;
}

CaptureDump::Options csvOf(std::vector<uint8_t> types) {
    CaptureDump::Options o;
    o.csv = true;
    o.types = types;
    return o;
}

const std::string lead = "time_s,direction,sender,receiver,data_type,name,channel,status,";
const std::string gapHeader = "gap.chunks,gap.bytes,gap.until [s],hex\n";

// Splits one CSV line, with quoted fields as RFC 4180 writes them.
std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

struct CsvCase {
    const char* name;
    std::vector<Bytes> records;
    std::vector<uint8_t> types;
    std::string expected;
};

TEST(DumpCsv, OneColumnPerFieldInItsUnit) {
    const CsvCase cases[] = {
        {"acc in g",
         {smalFrame(6, board, own, 0, vec3(981, -2, 900))},
         {6},
         lead + "acc.x [g],acc.y [g],acc.z [g]," + gapHeader +
             "0.010000,rx,5,1,6,acc,0,ok,0.981,-0.002,0.900,,,,d5 03 fe ff 84 03\n"},
        {"a temperature in tenths of a degree, a pressure in whole pascals",
         {smalFrame(30, board, own, 0, le16(215)), smalFrame(14, board, own, 0, le32(101325))},
         {30, 14},
         lead + "pressure.value [Pa],temperature.value [degC]," + gapHeader +
             "0.010000,rx,5,1,30,temperature,0,ok,,21.5,,,,d7 00\n"
             "0.020000,rx,5,1,14,pressure,0,ok,101325,,,,,cd 8b 01 00\n"},
        {"a position: degrees with seven decimals, a status without unit",
         {smalFrame(38, board, own, 0, cat({le32(-1234567), le32(473456789), le32(-150), Bytes{3}}))},
         {38},
         lead + "position.longitude [deg],position.latitude [deg],position.altitude [m],position.status," +
             gapHeader +
             "0.010000,rx,5,1,38,position,0,ok,-0.1234567,47.3456789,-1.50,3,,,,"
             "79 29 ed ff 95 60 38 1c 6a ff ff ff 03\n"},
        {"a set fills its report's columns; a request has none; other types are left out",
         {smalFrame(31, own, board, 0, Bytes{2}), smalFrame(31, own, board, 0), smalFrame(6, board, own, 0, vec3(1, 2, 3))},
         {31},
         lead + "gpsMode.value," + gapHeader + "0.010000,rx,1,5,31,gpsMode.set,0,ok,2,,,,02\n"
             "0.020000,rx,1,5,31,gpsMode.set,0,ok,,,,,\n"},
        {"a unit not known: the integer as received, no unit in the header",
         {smalFrame(10, board, own, 0, vec3(17, -1, 0))},
         {10},
         lead + "compass.x,compass.y,compass.z," + gapHeader + "0.010000,rx,5,1,10,compass,0,ok,17,-1,0,,,,11 00 ff ff 00 00\n"},
        {"a wrong length: raw, its bytes in hex only",
         {smalFrame(6, board, own, 0, Bytes{1, 2})},
         {6},
         lead + "acc.x [g],acc.y [g],acc.z [g]," + gapHeader + "0.010000,rx,5,1,6,acc,0,raw,,,,,,,01 02\n"},
        {"damaged frames and gaps are shown whatever the types",
         {Bytes{0xfd, 0x01, 0x02, 0xfc}, gapRecord(3, 120, 25000)},
         {6},
         lead + "acc.x [g],acc.y [g],acc.z [g]," + gapHeader + "0.010000,rx,,,,,,damaged,,,,,,,fd 01 02 fc\n"
             "0.020000,--,,,,,,gap,,,,3,120,0.025000,\n"},
    };
    for (const CsvCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, dump(c.records, csvOf(c.types)));
    }
}

// Without --type: the columns of every known type, whatever the file holds,
// and every row has as many fields as the header (a text with commas too).
TEST(DumpCsv, EveryRowHasTheHeadersColumns) {
    const std::string text = "hi, \"all\"";
    const std::vector<Bytes> records = {
        smalFrame(6, board, own, 0, vec3(1, 2, 3)), smalFrame(50, board, own, 0, Bytes(text.begin(), text.end())),
        smalFrame(40, board, own, 0, Bytes(42, 1)), smalFrame(40, 6, own, 0, Bytes(20, 1)), gapRecord(1, 2, 3)};
    const std::string csv = dump(records, csvOf({}));
    std::vector<std::vector<std::string>> rows;
    size_t at = 0;
    for (size_t end; (end = csv.find('\n', at)) != std::string::npos; at = end + 1) rows.push_back(split(csv.substr(at, end - at)));
    ASSERT_EQ(rows.size(), 6u) << csv;
    const std::vector<std::string>& header = rows[0];
    EXPECT_EQ(header.size(), 8u + 82u + 3u + 1u) << csv.substr(0, csv.find('\n'));
    for (size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i].size(), header.size()) << i;
    const auto column = [&](const std::string& name) {
        for (size_t i = 0; i < header.size(); ++i) {
            if (header[i] == name) return i;
        }
        return header.size();
    };
    EXPECT_EQ(rows[1][column("acc.z [g]")], "0.003");
    EXPECT_EQ(rows[2][column("debugText.text")], "hi, ?all?");
    EXPECT_EQ(rows[3][column("debug.NCFlags")], "257") << "the flight board's block";
    EXPECT_EQ(rows[4][column("debug.schuelerMode")], "257") << "the ground station's block";
    EXPECT_EQ(rows[4][column("debug.NCFlags")], "");
    EXPECT_EQ(rows[5][column("gap.until [s]")], "0.000003");
}

TEST(DumpText, ShowsValuesInTheirUnits) {
    CaptureDump::Options o;
    o.types = {6, 40};
    const std::string out = dump({smalFrame(6, board, own, 0, vec3(981, -2, 900)), smalFrame(40, 6, own, 0, Bytes(20, 0)),
                                  smalFrame(14, board, own, 0, le32(1))},
                                 o);
    EXPECT_NE(out.find("  rx    5 -> 1    type   6 acc              ch   0  x=0.981 g, y=-0.002 g, z=0.900 g\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("type  40 debug            ch   0  schuelerMode=0 raw, i2cError=0 raw,"), std::string::npos) << out;
    EXPECT_EQ(out.find("pressure"), std::string::npos) << out;
}

}  // namespace
