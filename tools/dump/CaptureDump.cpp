#include "CaptureDump.h"

#include <cstring>
#include <ctime>
#include <memory>

#include "PayloadFormat.h"

namespace ORQDump {

namespace {

// The serial driver gathers at most this many bytes between end bytes.
const std::size_t gatherMax = 1000;

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

CaptureDump::CaptureDump(const Options& options)
    : options(options), out(nullptr), received{"rx", ORQ::MessageSystem(), {}}, written{"tx", ORQ::MessageSystem(), {}} {}

int CaptureDump::run(const std::string& path, std::FILE* output, std::FILE* err) {
    out = output;
    ORQ::CaptureReader reader(path.c_str());
    if (!reader.ok()) {
        std::fprintf(err, "orq-dump: %s: %s\n", path.c_str(), reader.error());
        return reader.notRegularFile() ? DUMP_NOT_A_FILE : DUMP_REFUSED;
    }
    const ORQ::CaptureFormat::Header& h = reader.header();
    if (options.csv) {
        std::fprintf(out, "time_s,direction,sender,receiver,data_type,name,channel,status,values,hex\n");
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
        const std::string name = PayloadFormat::name(m->dataType);
        const std::string values = PayloadFormat::values(m->dataType, m->data, m->dataSize);
        const bool known = !name.empty() && (!values.empty() || m->dataSize == 0);
        row(seconds, side.label, std::to_string(m->senderID), std::to_string(m->receiverID),
            std::to_string(m->dataType), name.empty() ? "?" : name, std::to_string(m->channel),
            known ? "ok" : "raw", values, hex(m->data, m->dataSize));
    } else if (side.ms.statistics().receivedMessages != framesBefore) {
        row(seconds, side.label, "", "", "", "", "", "damaged", "", frameHex);
    }
}

void CaptureDump::gap(double seconds, const std::vector<uint8_t>& payload) {
    if (!inWindow(seconds)) return;
    const ORQ::CaptureFormat::Gap g = ORQ::CaptureFormat::decodeGap(payload.data());
    char values[96];
    std::snprintf(values, sizeof values, "chunks=%u bytes=%u until=%.6f", static_cast<unsigned>(g.chunks),
                  static_cast<unsigned>(g.bytes), static_cast<double>(g.lastMicros) / 1e6);
    row(seconds, "--", "", "", "", "", "", "gap", values, "");
}

void CaptureDump::row(double seconds, const char* direction, const std::string& sender, const std::string& receiver,
                      const std::string& dataType, const std::string& name, const std::string& channel,
                      const char* status, const std::string& values, const std::string& hexText) {
    if (options.csv) {
        std::fprintf(out, "%.6f,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", seconds, direction, sender.c_str(), receiver.c_str(),
                     dataType.c_str(), name.c_str(), channel.c_str(), status, csvField(values).c_str(),
                     csvField(hexText).c_str());
        return;
    }
    if (std::strcmp(status, "damaged") == 0) {
        std::fprintf(out, "%12.6f  %s  DAMAGED FRAME  %s\n", seconds, direction, hexText.c_str());
    } else if (std::strcmp(status, "gap") == 0) {
        std::fprintf(out, "%12.6f  %s  GAP  %s\n", seconds, direction, values.c_str());
    } else {
        std::fprintf(out, "%12.6f  %s  %3s -> %-3s  type %3s %-16s ch %3s  %s\n", seconds, direction, sender.c_str(),
                     receiver.c_str(), dataType.c_str(), name.c_str(), channel.c_str(),
                     std::strcmp(status, "ok") == 0 ? values.c_str() : ("raw " + hexText).c_str());
    }
}

bool CaptureDump::inWindow(double seconds) const {
    return seconds >= options.fromSeconds && seconds <= options.toSeconds;
}

}  // namespace ORQDump
