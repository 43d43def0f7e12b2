#include "History.h"

#include <algorithm>
#include <vector>

#include "DataUnit.h"
#include "Snapshot.h"
#include "Vehicle.h"

using nlohmann::json;

namespace {

const int flightBoardType = 1;

long long ageMs(History::Clock::time_point at, History::Clock::time_point now) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - at).count();
}

}  // namespace

const std::array<History::Series, History::seriesCount>& History::series() {
    // What the dashboard draws: attitude, acceleration, pressure, the
    // simulated board's battery (debug elements 0 and 1), track and altitude.
    static const std::array<Series, seriesCount> list{{{"DCM_X", 0},
                                                       {"DCM_Y", 0},
                                                       {"DCM_Z", 0},
                                                       {"ACC_X", 0},
                                                       {"ACC_Y", 0},
                                                       {"ACC_Z", 0},
                                                       {"PRESSURE", 0},
                                                       {"DEBUG_DATA", 0},
                                                       {"DEBUG_DATA", 1},
                                                       {"LONGITUDE", 0},
                                                       {"LATITUDE", 0},
                                                       {"ALTITUDE", 0}}};
    return list;
}

void History::sample(const Vehicle& vehicle, Clock::time_point now) {
    std::vector<int> boards;
    for (const Vehicle::NodeRef& ref : vehicle.listNodes()) {
        if (ref.type == flightBoardType && boards.size() < maxNodes) boards.push_back(ref.id);
    }
    for (auto it = nodes.begin(); it != nodes.end();) {
        it = std::find(boards.begin(), boards.end(), it->first) == boards.end() ? nodes.erase(it) : std::next(it);
    }
    for (int id : boards) {
        Values values{};
        bool whole = true;
        for (size_t i = 0; i < seriesCount && whole; ++i) {
            const DataNames::Row* row = DataNames::find(flightBoardType, series()[i].name);
            int v = 0;
            whole = row != nullptr && vehicle.read(id, row->id, series()[i].index, v) == 0;
            values[i] = v;
        }
        // A board that went away between the listing and the reads.
        if (whole) record(id, now, values);
    }
    dropOld(now);
}

void History::record(int node, Clock::time_point at, const Values& values) {
    if (nodes.count(node) == 0 && nodes.size() >= maxNodes) return;
    std::deque<Sample>& samples = nodes[node];
    samples.push_back(Sample{at, values});
    while (samples.size() > samplesPerNode) samples.pop_front();
    dropOld(at);
}

void History::recordSet(const Set& set) {
    sets.push_back(set);
    sets.back().number = ++setCount;
    while (sets.size() > maxSets) sets.pop_front();
    dropOld(set.at);
}

void History::dropOld(Clock::time_point now) {
    for (auto& entry : nodes) {
        while (!entry.second.empty() && now - entry.second.front().at > window) entry.second.pop_front();
    }
    while (!sets.empty() && now - sets.front().at > window) sets.pop_front();
}

size_t History::samples(int node) const {
    const auto it = nodes.find(node);
    return it == nodes.end() ? 0 : it->second.size();
}

json History::setJson(const Set& set, Clock::time_point now) {
    json out{{"number", set.number}, {"ageMs", ageMs(set.at, now)}, {"node", set.node},  {"id", set.dataID},
             {"index", set.index},   {"value", set.value},         {"code", set.code}, {"codeName", Vehicle::codeName(set.code)}};
    if (set.row != nullptr) {
        const DataUnit unit(set.row->unit);
        out["name"] = set.row->name;
        out["inUnit"] = Snapshot::inUnit(unit, set.value);
        out["symbol"] = unit.symbol();
    }
    return out;
}

json History::toJson(Clock::time_point now) const {
    json byNode = json::object();
    for (const auto& entry : nodes) {
        json ages = json::array();
        for (const Sample& s : entry.second) ages.push_back(ageMs(s.at, now));
        json values = json::object();
        for (size_t i = 0; i < seriesCount; ++i) {
            const DataUnit unit(DataNames::find(flightBoardType, series()[i].name)->unit);
            json raw = json::array(), inUnit = json::array();
            for (const Sample& s : entry.second) {
                raw.push_back(s.values[i]);
                inUnit.push_back(Snapshot::inUnit(unit, s.values[i]));
            }
            values[std::string(series()[i].name) + "/" + std::to_string(series()[i].index)] =
                json{{"symbol", unit.symbol()}, {"raw", std::move(raw)}, {"inUnit", std::move(inUnit)}};
        }
        byNode[std::to_string(entry.first)] = json{{"ageMs", std::move(ages)}, {"values", std::move(values)}};
    }
    json setList = json::array();
    for (const Set& s : sets) setList.push_back(setJson(s, now));
    return json{{"windowS", window.count()},
                          {"periodMs", period.count()},
                          {"nodes", std::move(byNode)},
                          {"sets", std::move(setList)}};
}

std::string History::setsMessage(uint64_t after, Clock::time_point now) const {
    if (after >= setCount) return std::string();
    json list = json::array();
    for (const Set& s : sets) {
        if (s.number > after) list.push_back(setJson(s, now));
    }
    return list.empty() ? std::string() : json{{"kind", "sets"}, {"sets", std::move(list)}}.dump();
}
