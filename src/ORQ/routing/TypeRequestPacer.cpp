#include "routing/TypeRequestPacer.h"

namespace ORQ {

TypeRequestPacer::TypeRequestPacer() : issued(0), admitted(0) {}

void TypeRequestPacer::tick(uint16_t timeDiff, unsigned queued, unsigned capacity) {
    uint32_t turns = timeDiff / msPerRequest;
    if (turns < 1) turns = 1;
    if (turns > maxPerTick) turns = maxPerTick;
    const unsigned room = queued < capacity / 2 ? capacity / 2 - queued : 0;
    if (turns > room) turns = room;
    // Turns left over from earlier ticks lapse: tickets below `issued` that
    // were let through have asked already (or their placeholder is gone), so
    // the turns of this tick start at the first ticket still waiting. The
    // comparison is on the difference, so it stays right when the counters wrap.
    const uint32_t first = static_cast<int32_t>(admitted - issued) > 0 ? issued : admitted;
    admitted = first + turns;
}

uint32_t TypeRequestPacer::takeTicket() { return issued++; }

bool TypeRequestPacer::mayAsk(uint32_t ticket) const { return static_cast<int32_t>(ticket - admitted) < 0; }

}  // namespace ORQ
