#include "Hub.h"

#include "Vehicle.h"

Hub::Hub(const Vehicle& v) : vehicle(v) {}

Hub::Picture Hub::current() {
    const Clock::time_point now = Clock::now();
    if (!latest || now - takenAt >= minInterval) {
        previous = latest;
        latest = std::make_shared<const Snapshot>(vehicle.sample());
        takenAt = now;
        latestFull.clear();
        latestDelta.clear();
        latestDeltaDone = false;
    }
    return latest;
}

std::string Hub::fullMessage(const Picture& now) {
    if (now != latest) return now->full().dump();
    if (latestFull.empty()) latestFull = latest->full().dump();
    return latestFull;
}

std::string Hub::messageFor(const Picture& sent, const Picture& now) {
    if (!sent) return fullMessage(now);
    if (sent == now) return std::string();
    if (now == latest && sent == previous) {
        if (!latestDeltaDone) {
            const nlohmann::json d = latest->delta(*previous);
            latestDelta = d.is_null() ? std::string() : d.dump();
            latestDeltaDone = true;
        }
        return latestDelta;
    }
    const nlohmann::json d = now->delta(*sent);
    return d.is_null() ? std::string() : d.dump();
}

void Hub::sampleHistory() { history.sample(vehicle, History::Clock::now()); }
