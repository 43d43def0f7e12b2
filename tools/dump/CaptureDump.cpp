#include "CaptureDump.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

namespace ORQDump {

namespace {

// The serial driver gathers at most this many bytes between end bytes.
const std::size_t gatherMax = 1000;

// The columns every row has, before the field columns, and those of a gap
// record after them.
const char* const leadingColumns = "time_s,direction,sender,receiver,data_type,name,channel,status";
const char* const gapColumns[] = {"gap.chunks", "gap.bytes", "gap.until [s]"};
const std::size_t gapColumnCount = sizeof gapColumns / sizeof gapColumns[0];

uint8_t reportOf(uint8_t dataType) { return dataType % 2 == 1 ? static_cast<uint8_t>(dataType + 1) : dataType; }

std::string hex(const uint8_t* bytes, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + '"';
}

std::string startText(int64_t micros) {
    const std::time_t t = static_cast<std::time_t>(micros / 1000000);
    std::tm tm;
    char text[32];
    gmtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

}  // namespace

CaptureDump::CaptureDump(const Options& opts)
    : options(opts), out(nullptr), received{"rx", ORQ::MessageSystem(), {}}, written{"tx", ORQ::MessageSystem(), {}} {
    // In the order of the report types, whatever order they were asked in:
    // a set's fields are its report's.
    for (int type = 0; type < 256; type += 2) {
        const uint8_t report = static_cast<uint8_t>(type);
        if (!chosen(report) && !chosen(static_cast<uint8_t>(report - 1))) continue;
        for (const PayloadFormat::Column& c : PayloadFormat::columns(report)) fieldColumns.push_back({report, &c});
    }
}

bool CaptureDump::chosen(uint8_t dataType) const {
    return options.types.empty() ||
           std::find(options.types.begin(), options.types.end(), dataType) != options.types.end();
}

void CaptureDump::csvHeader() {
    std::string header = leadingColumns;
    for (const FieldColumn& f : fieldColumns) {
        const DataUnit& unit = f.column->unit;
        std::string name = PayloadFormat::name(f.report) + "." + f.column->field;
        if (unit.known() && !unit.symbol().empty()) name += " [" + unit.symbol() + "]";
        header += "," + name;
    }
    for (const char* g : gapColumns) header += std::string(",") + g;
    std::fprintf(out, "%s,hex\n", header.c_str());
}

int CaptureDump::run(const std::string& path, std::FILE* output, std::FILE* err) {
    out = output;
    ORQ::CaptureReader reader(path.c_str());
    if (!reader.ok()) {
        std::fprintf(err, "orq-dump: %s: %s\n", path.c_str(), reader.error());
        return reader.notRegularFile() ? DUMP_NOT_A_FILE : DUMP_REFUSED;
    }
    const ORQ::CaptureFormat::Header& h = reader.header();
    if (options.csv) {
        csvHeader();
    } else {
        std::fprintf(out, "# capture of \"%s\", own ID %u, started %s\n", h.connectionText(),
                     static_cast<unsigned>(h.ownID), startText(h.startMicros).c_str());
    }
    ORQ::CaptureReader::Record r;
    while (reader.next(r)) {
        const double seconds = static_cast<double>(r.micros) / 1e6;
        if (r.kind == ORQ::CaptureFormat::KIND_GAP) {
            gap(seconds, r.bytes);
        } else {
            feed(r.kind == ORQ::CaptureFormat::KIND_RECEIVED ? received : written, seconds, r.bytes);
        }
    }
    std::fflush(out);
    if (reader.end() != ORQ::CaptureReader::End::CLEAN) {
        std::fprintf(err, "orq-dump: %s: %s; records before it are shown\n", path.c_str(), reader.error());
        return DUMP_CUT_SHORT;
    }
    return DUMP_OK;
}

void CaptureDump::feed(Side& side, double seconds, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
        if (side.gathered.size() >= gatherMax) side.gathered.clear();  // cannot hold a frame
        side.gathered.push_back(b);
        if (b == ORQ::MessageSystem::frameEnd) endOfFrame(side, seconds);
    }
}

void CaptureDump::endOfFrame(Side& side, double seconds) {
    std::vector<uint8_t>& g = side.gathered;
    // The bytes the library would look at for this frame: from the last start byte on.
    const void* start = memrchr(g.data(), ORQ::MessageSystem::frameStart, g.size());
    const std::size_t frameAt =
        start ? static_cast<std::size_t>(static_cast<const uint8_t*>(start) - g.data()) : g.size();
    const std::string frameHex = hex(g.data() + frameAt, g.size() - frameAt);

    const std::size_t handOver = std::min<std::size_t>(g.size(), ORQ::MessageSystem::receiveBufferSize);
    side.ms.procNewData(g.data() + g.size() - handOver, static_cast<uint8_t>(handOver));
    g.clear();
    const uint16_t framesBefore = side.ms.statistics().receivedMessages;
    std::unique_ptr<ORQ::Message> m(side.ms.getNewMessage());
    if (!inWindow(seconds)) return;
    if (m) {
        if (!chosen(m->dataType)) return;
        const std::string name = PayloadFormat::name(m->dataType);
        std::vector<PayloadFormat::Value> values;
        // A frame without payload is a request (or a report that says nothing):
        // its type is known, it has no fields.
        const bool known = !name.empty() && (PayloadFormat::decode(m->dataType, m->data, m->dataSize, values) ||
                                             m->dataSize == 0);
        Row r{seconds, side.label, std::to_string(m->senderID), std::to_string(m->receiverID),
              std::to_string(m->dataType), name.empty() ? "?" : name, std::to_string(m->channel),
              known ? "ok" : "raw", "", std::vector<std::string>(fieldColumns.size() + gapColumnCount),
              hex(m->data, m->dataSize)};
        if (known) {
            r.values = PayloadFormat::isRequest(m->dataType, m->dataSize) ? "request" : PayloadFormat::text(values);
            const uint8_t report = reportOf(m->dataType);
            for (std::size_t i = 0; i < fieldColumns.size(); ++i) {
                for (const PayloadFormat::Value& v : values) {
                    if (fieldColumns[i].report == report && fieldColumns[i].column == v.column) {
                        r.cells[i] = PayloadFormat::cell(v);
                    }
                }
            }
        }
        row(r);
    } else if (side.ms.statistics().receivedMessages != framesBefore) {
        row(Row{seconds, side.label, "", "", "", "", "", "damaged", "",
                std::vector<std::string>(fieldColumns.size() + gapColumnCount), frameHex});
    }
}

void CaptureDump::gap(double seconds, const std::vector<uint8_t>& payload) {
    if (!inWindow(seconds)) return;
    const ORQ::CaptureFormat::Gap g = ORQ::CaptureFormat::decodeGap(payload.data());
    char until[32];
    std::snprintf(until, sizeof until, "%.6f", static_cast<double>(g.lastMicros) / 1e6);
    Row r{seconds, "--", "", "", "", "", "", "gap", "", std::vector<std::string>(fieldColumns.size()), ""};
    r.values = "chunks=" + std::to_string(g.chunks) + " bytes=" + std::to_string(g.bytes) + " until=" + until;
    r.cells.insert(r.cells.end(), {std::to_string(g.chunks), std::to_string(g.bytes), until});
    row(r);
}

void CaptureDump::row(const Row& r) {
    if (options.csv) {
        std::string line;
        char time[32];
        std::snprintf(time, sizeof time, "%.6f", r.seconds);
        for (const std::string& field : {std::string(time), std::string(r.direction), r.sender, r.receiver,
                                         r.dataType, r.name, r.channel, std::string(r.status)}) {
            line += (line.empty() ? "" : ",") + field;
        }
        for (const std::string& c : r.cells) line += "," + csvField(c);
        std::fprintf(out, "%s,%s\n", line.c_str(), csvField(r.hex).c_str());
        return;
    }
    if (std::strcmp(r.status, "damaged") == 0) {
        std::fprintf(out, "%12.6f  %s  DAMAGED FRAME  %s\n", r.seconds, r.direction, r.hex.c_str());
    } else if (std::strcmp(r.status, "gap") == 0) {
        std::fprintf(out, "%12.6f  %s  GAP  %s\n", r.seconds, r.direction, r.values.c_str());
    } else {
        std::fprintf(out, "%12.6f  %s  %3s -> %-3s  type %3s %-16s ch %3s  %s\n", r.seconds, r.direction,
                     r.sender.c_str(), r.receiver.c_str(), r.dataType.c_str(), r.name.c_str(), r.channel.c_str(),
                     std::strcmp(r.status, "ok") == 0 ? r.values.c_str() : ("raw " + r.hex).c_str());
    }
}

bool CaptureDump::inWindow(double seconds) const {
    return seconds >= options.fromSeconds && seconds <= options.toSeconds;
}

}  // namespace ORQDump
