#pragma once
// The order in which a replay hands a capture to the library: the chunks the
// capture received, each at its capture time, and the manager's ticks every
// 10 ms of capture time in between, a tick first when both fall on the same
// instant. Whoever follows this order on one thread (the replay link's I/O
// thread) drives the world model through the same sequence of states however
// fast it goes. Written chunks and gap records are skipped; after the last
// whole record comes one END.
//
// Pure sequencing: no clock, no thread. One object belongs to one thread.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CaptureReader.h"

namespace ORQ {

class CaptureReplay {
public:
    static constexpr uint32_t tickMs = 10;

    struct Event {
        enum Kind { TICK, CHUNK, END };
        Kind kind = END;
        uint64_t micros = 0;         // capture time of the event; END: of the tick that would come next
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
    // Manager time of a tick at capture time micros (wraps after 2^32 ms).
    static uint32_t managerTime(uint64_t micros) { return static_cast<uint32_t>(micros / 1000); }

private:
    CaptureReader reader;
    uint64_t nextTickMicros;
    bool chunkWaiting;
    Event chunk;
};

}  // namespace ORQ
