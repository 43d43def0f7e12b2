#include "CaptureReplay.h"

namespace ORQ {

CaptureReplay::CaptureReplay(const char* path) : reader(path), nextTickMicros(0), chunkWaiting(false) {}

CaptureReplay::Event CaptureReplay::next() {
    if (!chunkWaiting) {
        CaptureReader::Record r;
        while (reader.next(r)) {
            if (r.kind != CaptureFormat::KIND_RECEIVED) continue;
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
    if (nextTickMicros <= chunk.micros) {
        Event tick;
        tick.kind = Event::TICK;
        tick.micros = nextTickMicros;
        nextTickMicros += tickMs * 1000;
        return tick;
    }
    chunkWaiting = false;
    return std::move(chunk);
}

}  // namespace ORQ
