#include "capture/CaptureReplay.h"

#include <algorithm>
#include <limits>

#include "node/Component.h"

namespace ORQ {

namespace {

const uint64_t tickMicros = CaptureReplay::tickMs * 1000;
const uint64_t lastTickMicros = std::numeric_limits<uint64_t>::max() / tickMicros * tickMicros;

}  // namespace

CaptureReplay::CaptureReplay(const char* path)
    : reader(path), nextTickMicros(0), ticksLeft(true), idleUntil(0), chunkWaiting(false) {}

void CaptureReplay::skipIdleTicks(uint64_t atMicros, uint32_t dueMs) {
    const uint64_t most = std::numeric_limits<uint64_t>::max();
    const uint64_t wait = static_cast<uint64_t>(dueMs) * 1000;
    const uint64_t until = dueMs == Component::nothingDue || atMicros > most - wait ? most : atMicros + wait;
    idleUntil = std::max(idleUntil, until);
}

void CaptureReplay::ticksFrom(uint64_t micros) {
    if (micros > lastTickMicros) {
        nextTickMicros = lastTickMicros;
        ticksLeft = false;
        return;
    }
    // Rounded up without overflow: a tick below micros <= lastTickMicros has one after it.
    uint64_t tick = micros / tickMicros * tickMicros;
    if (tick < micros) tick += tickMicros;
    nextTickMicros = std::max(nextTickMicros, tick);
}

CaptureReplay::Event CaptureReplay::next() {
    if (!chunkWaiting) {
        CaptureReader::Record r;
        while (reader.next(r)) {
            // An empty chunk has nothing to hand over (a read of 0 bytes means the end).
            if (r.kind != CaptureFormat::KIND_RECEIVED || r.bytes.empty()) continue;
            chunk.kind = Event::CHUNK;
            chunk.micros = r.micros;
            chunk.bytes.swap(r.bytes);
            chunkWaiting = true;
            break;
        }
        if (!chunkWaiting) {
            Event end;
            end.micros = nextTickMicros;
            return end;
        }
    }
    if (ticksLeft && idleUntil > nextTickMicros) {
        if (idleUntil <= chunk.micros) {
            ticksFrom(idleUntil);
        } else {
            // The last tick before the chunk still comes: it sets the manager
            // time the chunk is read at, as it does when no tick is left out.
            nextTickMicros = std::max(nextTickMicros, chunk.micros / tickMicros * tickMicros);
        }
    }
    if (ticksLeft && nextTickMicros <= chunk.micros) {
        Event tick;
        tick.kind = Event::TICK;
        tick.micros = nextTickMicros;
        if (nextTickMicros == lastTickMicros) {
            ticksLeft = false;
        } else {
            nextTickMicros += tickMicros;
        }
        return tick;
    }
    chunkWaiting = false;
    idleUntil = 0;
    return std::move(chunk);
}

}  // namespace ORQ
