#pragma once
// The yardstick beside which the receive path is measured: the least work a
// receiver of this link has to do for one report, written plainly. For each
// frame in a read, one pass unescapes it into a buffer on the stack while it
// folds the check byte; the layout is decoded into a struct on the stack, the
// sender found in a table of 256 boards, and the acceleration stored under
// the board's one plain mutex. Only a frame cut by the end of a read is kept
// over to the next.
//
// Threads: feed() on one thread; accX() from any thread. Each board's mutex
// guards its values; the table itself is written only before feeding starts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace bench {

class LeanPath {
public:
    // Mirrors board `id` from now on (before feed() is first called).
    void addBoard(uint8_t id);
    // The bytes of one read of the port.
    void feed(const uint8_t* bytes, size_t n);
    // acc[0].x of board `id`, or -1 when it is not mirrored.
    int accX(uint8_t id);

private:
    struct Board {
        std::mutex lock;
        int16_t acc[3] = {};
        uint32_t reports = 0;
    };
    // A layout is at most 64 bytes, its frame at most twice that and the
    // start and end bytes; a longer frame is dropped whole.
    static const size_t maxLayout = 64;
    static const size_t maxFrame = 2 + 2 * maxLayout;

    // One frame from its start byte to its end byte, both included.
    void frame(const uint8_t* f, size_t n);

    std::array<std::unique_ptr<Board>, 256> boards;
    uint8_t cut[maxFrame] = {};  // the start of a frame the last read cut off
    size_t cutLength = 0;
};

}  // namespace bench
