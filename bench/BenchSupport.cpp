#include "BenchSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include "SimCodec.h"
#include "SimMessage.h"

namespace bench {

Bytes frame(uint8_t dataType, uint8_t sender, uint8_t receiver, uint8_t channel, const uint8_t* payload,
            uint8_t size) {
    ORQSim::SimMessage m;
    m.dataType = dataType;
    m.sender = sender;
    m.receiver = receiver;
    m.channel = channel;
    m.size = size;
    for (uint8_t i = 0; i < size && i < ORQSim::SimMessage::maxPayload; ++i) m.payload[i] = payload[i];
    uint8_t out[ORQSim::SimCodec::maxFrame];
    const size_t n = ORQSim::SimCodec::encodeFrame(m, out, sizeof out);
    return Bytes(out, out + n);
}

Bytes accFrame(uint8_t sender, uint8_t receiver, int16_t x, int16_t y, int16_t z) {
    const int16_t v[3] = {x, y, z};
    uint8_t payload[6];
    for (int k = 0; k < 3; ++k) {
        const uint16_t u = static_cast<uint16_t>(v[k]);
        payload[2 * k] = static_cast<uint8_t>(u);
        payload[2 * k + 1] = static_cast<uint8_t>(u >> 8);
    }
    return frame(accReport, sender, receiver, 0, payload, sizeof payload);
}

Bytes flightBoardReply(uint8_t sender, uint8_t receiver) {
    const uint8_t flightBoard = ORQ::DeviceCode::flightBoard;
    return frame(typeReplyType, sender, receiver, 0, &flightBoard, 1);
}

int16_t distinctX(unsigned i) {
    i %= 20000;
    return static_cast<int16_t>(((i / 200) << 8) | (i % 200));
}

QuietStdout::QuietStdout() : saved(-1) {
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0) return;
    saved = ::dup(1);
    ::dup2(null, 1);
    ::close(null);
}

QuietStdout::~QuietStdout() {
    if (saved < 0) return;
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
}

void figure(std::FILE* out, const std::string& goal, const std::string& what, double measured,
            const std::string& unit, double limit, bool atMost) {
    const bool pass = atMost ? measured <= limit : measured >= limit;
    std::fprintf(out, "FIGURE|%s|%s|%.6g|%s|-|-|%s %.6g|%s\n", goal.c_str(), what.c_str(), measured, unit.c_str(),
                 atMost ? "<=" : ">=", limit, pass ? "PASS" : "MISS");
    std::fflush(out);
}

void compare(std::FILE* out, const std::string& goal, const std::string& what, double measured, double baseline,
             const std::string& unit, double maxRatio) {
    // Without a baseline (0 or less) the ratio shows as -1 and the goal as missed.
    const double ratio = baseline > 0 ? measured / baseline : -1;
    const bool pass = ratio >= 0 && ratio <= maxRatio;
    std::fprintf(out, "FIGURE|%s|%s|%.6g|%s|%.6g|%.3gx|<= %.3gx|%s\n", goal.c_str(), what.c_str(), measured,
                 unit.c_str(), baseline, ratio, maxRatio, pass ? "PASS" : "MISS");
    std::fflush(out);
}

void beside(std::FILE* out, const std::string& goal, const std::string& what, double measured, double baseline,
            const std::string& unit) {
    std::fprintf(out, "FIGURE|%s|%s|%.6g|%s|%.6g|%.3gx|-|info\n", goal.c_str(), what.c_str(), measured, unit.c_str(),
                 baseline, baseline > 0 ? measured / baseline : -1);
    std::fflush(out);
}

void info(std::FILE* out, const std::string& goal, const std::string& what, double measured, const std::string& unit) {
    std::fprintf(out, "FIGURE|%s|%s|%.6g|%s|-|-|-|info\n", goal.c_str(), what.c_str(), measured, unit.c_str());
    std::fflush(out);
}

}  // namespace bench
