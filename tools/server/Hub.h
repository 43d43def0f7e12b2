#pragma once
// What the server's sessions share: the count of stream clients (their limit
// is checked against it), the latest picture of the vehicle with its stream
// messages, and the last minute of charted values and sets (History, sampled
// by the server's timer through sampleHistory, sets recorded by the Api).
//
// Pictures are taken on demand, at most every minInterval, however many
// clients ask: the load on the library does not grow with the number of
// clients. A client that was sent the picture before the latest gets the
// delta computed once for all such clients; any other client gets a delta of
// its own, or the whole picture.
//
// Used from the server's one I/O thread only; no lock. Sessions hold it by
// shared pointer, so it outlives the last of them whatever order the server
// is torn down in.
#include <chrono>
#include <memory>
#include <string>

#include "History.h"
#include "Snapshot.h"

class Vehicle;

class Hub {
public:
    using Clock = std::chrono::steady_clock;
    using Picture = std::shared_ptr<const Snapshot>;

    static constexpr std::chrono::milliseconds minInterval{15};

    explicit Hub(const Vehicle& vehicle);

    // The latest picture, taken now when the last one is older than minInterval.
    Picture current();
    // The message that brings a client that was sent `sent` (null: nothing
    // yet) to `now` (the result of current()); empty when nothing changed.
    std::string messageFor(const Picture& sent, const Picture& now);
    std::string fullMessage(const Picture& now);
    // Records the charted values of this moment.
    void sampleHistory();

    int streamClients = 0;   // WebSocket streams open
    History history;

private:
    const Vehicle& vehicle;
    Picture latest, previous;
    Clock::time_point takenAt;
    std::string latestFull;       // cache of fullMessage(latest)
    std::string latestDelta;      // cache of the delta previous -> latest
    bool latestDeltaDone = false;
};
