#pragma once
// Paces the type requests of all placeholders of one manager: at most a few
// per tick (one per 5 ms of the tick's length, at least one, at most 8), and
// only while the send queue is less than half full, so that a burst of new
// senders never takes the queue's room from the host's sets. Placeholders
// are served first come, first served: a placeholder whose request is due
// takes a ticket, and tickets are let through in the order they were taken,
// so no placeholder waits behind others forever whatever its place in the
// component list.
//
// Threads: the main-loop thread only (the manager's tick and the type
// clients' run()); no lock.
#include <cstdint>

namespace ORQ {

class TypeRequestPacer {
public:
    static constexpr uint32_t msPerRequest = 5;
    static constexpr uint32_t maxPerTick = 8;

    TypeRequestPacer();

    // Start of a tick of timeDiff ms with `queued` messages in the send queue
    // of at most `capacity`: opens the turns of this tick.
    void tick(uint16_t timeDiff, unsigned queued, unsigned capacity);
    // A place in the line, for a placeholder whose request has become due.
    uint32_t takeTicket();
    // True when the holder of `ticket` may send its request now. A ticket let
    // through stays let through until its holder takes a new one, so a
    // request that the queue refused is tried again on the next tick.
    bool mayAsk(uint32_t ticket) const;

private:
    uint32_t issued;    // tickets taken so far (the next ticket's number)
    uint32_t admitted;  // tickets below this number have their turn
};

}  // namespace ORQ
