#pragma once
// The order in which a replay hands a capture to the library: the chunks the
// capture received, each at its capture time, and the manager's ticks every
// 10 ms of capture time in between, a tick first when both fall on the same
// instant. Whoever follows this order on one thread (the replay link's I/O
// thread) drives the world model through the same sequence of states however
// fast it goes. Written chunks, empty chunks and gap records are skipped;
// after the last whole record comes one END. Ticks stop at the largest time
// a record can hold (they never wrap to the start).
//
// A follower that knows the manager has nothing due for a while may say so
// (skipIdleTicks): the ticks until then are left out, in one step, but not
// the last one at or before the next chunk (it sets the manager time the
// chunk is read at), and none after that chunk, whose arrival may make work
// due again. A record far in the future then costs no more than a near one,
// and the manager sees the same times as when every tick comes.
//
// Pure sequencing: no clock, no thread. One object belongs to one thread.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/CaptureReader.h"

namespace ORQ {

class CaptureReplay {
public:
    static constexpr uint32_t tickMs = 10;

    struct Event {
        enum Kind { TICK, CHUNK, END };
        Kind kind = END;
        uint64_t micros = 0;         // capture time of the event; END: of the tick that would come next (the last possible one when none can)
        std::vector<uint8_t> bytes;  // CHUNK: the received bytes
    };

    explicit CaptureReplay(const char* path);

    // False when the capture's header was refused; error() says why.
    bool ok() const { return reader.ok(); }
    // Why the header was refused, or (after END) why the capture ended before
    // the end of its file; empty otherwise.
    const char* error() const { return reader.error(); }

    // The next event; END once the records are used up, and ever after.
    Event next();
    // The tick at capture time atMicros found the manager's next work
    // dueMs later (Component::nothingDue: none): the ticks before that are
    // left out, but not the last one at or before the next chunk, and after
    // that chunk every tick comes again until this is said anew.
    void skipIdleTicks(uint64_t atMicros, uint32_t dueMs);
    // Manager time of a tick at capture time micros (wraps after 2^32 ms).
    static uint32_t managerTime(uint64_t micros) { return static_cast<uint32_t>(micros / 1000); }

private:
    // Moves the next tick to the first one at or after micros.
    void ticksFrom(uint64_t micros);

    CaptureReader reader;
    uint64_t nextTickMicros;
    bool ticksLeft;      // false once the next tick would lie past the largest time
    uint64_t idleUntil;  // no tick is needed before this (until the next chunk)
    bool chunkWaiting;
    Event chunk;
};

}  // namespace ORQ
