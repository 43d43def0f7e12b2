#pragma once
// What the benchmark programs share: the frames a flight board sends (built
// with the device simulator's own codec, not with the library's), a way to
// keep the library's diagnostic lines out of the figures, and the one line
// format in which every program reports a figure beside its goal and its
// baseline.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "DataTypes.h"

namespace bench {

using Bytes = std::vector<uint8_t>;

// Data type in which a flight board reports its acceleration (element 0 of
// `acc`, host data IDs 3/4/5), and the board's type reply.
const uint8_t accReport = ORQ::DataType::acc.report;
const uint8_t typeReplyType = ORQ::DataType::typeReply;

// One framed Smal message.
Bytes frame(uint8_t dataType, uint8_t sender, uint8_t receiver, uint8_t channel, const uint8_t* payload,
            uint8_t size);
// Acceleration report of board `sender` with x, y and z.
Bytes accFrame(uint8_t sender, uint8_t receiver, int16_t x, int16_t y, int16_t z);
// "I am a flight board" (type 1) from `sender`.
Bytes flightBoardReply(uint8_t sender, uint8_t receiver);
// The i-th of 20000 distinct x values, none of whose bytes needs escaping;
// the values stay below 25600, so larger ones can serve as markers.
int16_t distinctX(unsigned i);

// Sends standard output to /dev/null while it lives: the library writes a
// line for every new node and every start and stop, which would bury the
// figures and cost time that is not the library's work.
class QuietStdout {
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved;
};

// The figures are printed as lines
//   FIGURE|goal|what|measured|unit|baseline|ratio|limit|PASS, MISS or info
// which the bench script gathers into the final table; "-" marks an empty
// field.
//
// A figure with a limit of its own: `atMost` tells whether the limit is an
// upper (true) or a lower bound.
void figure(std::FILE* out, const std::string& goal, const std::string& what, double measured,
            const std::string& unit, double limit, bool atMost);
// A figure beside its baseline, measured in the same run: the goal is that
// measured / baseline is at most `maxRatio`.
void compare(std::FILE* out, const std::string& goal, const std::string& what, double measured, double baseline,
             const std::string& unit, double maxRatio);
// A figure beside its baseline, shown for a goal that is set in another unit:
// the ratio, no verdict.
void beside(std::FILE* out, const std::string& goal, const std::string& what, double measured, double baseline,
            const std::string& unit);
// A figure shown beside a goal that is set in another unit: no verdict.
void info(std::FILE* out, const std::string& goal, const std::string& what, double measured, const std::string& unit);

}  // namespace bench
