#pragma once
// The last minute of what the dashboard charts, kept by the server so that a
// page opened now starts with full charts: the charted values of each flight
// board, sampled every `period`, and the sets made through the server.
//
// Bounded: a sample older than `window` is dropped, and at most
// samplesPerNode (600) are kept for each of at most maxNodes (8) flight
// boards, the lowest IDs; a sample is 56 bytes, so the values take 270 KB at
// most. At most maxSets (256) sets are kept, each also for `window` only.
//
// Served whole by GET /api/history (toJson()); every set is numbered, and a
// stream client is sent the sets numbered above the last it was sent
// (setsMessage()).
//
// Used from the server's one I/O thread only; no lock.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "DataNames.h"

class Vehicle;

class History {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds window{60};
    static constexpr std::chrono::milliseconds period{100};
    static constexpr size_t samplesPerNode = 600;
    static constexpr size_t maxNodes = 8;
    static constexpr size_t maxSets = 256;

    // The charted values: data ID name and index, served as "NAME/INDEX".
    struct Series {
        const char* name;
        int index;
    };
    static constexpr size_t seriesCount = 12;
    static const std::array<Series, seriesCount>& series();
    using Values = std::array<int32_t, seriesCount>;

    struct Set {
        uint64_t number;              // given by recordSet
        Clock::time_point at;
        int node;
        const DataNames::Row* row;   // null for a data ID the names do not list
        int dataID, index, value, code;
    };

    // Reads the charted values of the flight boards now known (the lowest
    // maxNodes IDs) and records them; forgets the boards no longer known.
    void sample(const Vehicle& vehicle, Clock::time_point now);
    // One sample of one flight board; ignored for a new board when maxNodes
    // are kept already.
    void record(int node, Clock::time_point at, const Values& values);
    // A set through the server, as the library answered it (code).
    void recordSet(const Set& set);

    size_t samples(int node) const;
    uint64_t lastSet() const { return setCount; }

    // {"windowS":60,"periodMs":100,"nodes":{"5":{"ageMs":[...],"values":{"ACC_X/0":
    //  {"symbol":"g","raw":[...],"inUnit":[...]},...}}},"sets":[...]}: oldest first,
    // ages counted back from now.
    nlohmann::json toJson(Clock::time_point now) const;
    // {"kind":"sets","sets":[...]} with the sets numbered above `after`;
    // empty when there is none.
    std::string setsMessage(uint64_t after, Clock::time_point now) const;

private:
    struct Sample {
        Clock::time_point at;
        Values values;
    };

    static nlohmann::json setJson(const Set& set, Clock::time_point now);
    void dropOld(Clock::time_point now);

    std::map<int, std::deque<Sample>> nodes;
    std::deque<Set> sets;
    uint64_t setCount = 0;
};
