// The server's history on its own, in virtual time: whatever the rate and
// number of samples and sets, it keeps the last minute and no more than its
// stated bounds.
#include <gtest/gtest.h>

#include "History.h"

namespace {

using Clock = History::Clock;
using std::chrono::milliseconds;

History::Values valuesOf(int32_t v) {
    History::Values values;
    values.fill(v);
    return values;
}

TEST(ServerHistoryBounds, KeepsTheLastMinuteAndAtMostItsSamplesPerBoard) {
    struct Case {
        const char* name;
        milliseconds step;
        int count;
        size_t kept;
    };
    const Case cases[] = {
        {"two minutes at the sampling period", History::period, 1200, 601},   // 0 to 60 s back, both ends
        {"ten times faster than sampled", milliseconds(10), 3000, History::samplesPerNode},
        {"once every 7 s", milliseconds(7000), 40, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        History h;
        const Clock::time_point start{};
        Clock::time_point at = start;
        for (int i = 0; i < c.count; ++i, at += c.step) h.record(5, at, valuesOf(i));
        const Clock::time_point last = at - c.step;
        EXPECT_EQ(std::min(c.kept, History::samplesPerNode), h.samples(5));
        const nlohmann::json j = h.toJson(last);
        const nlohmann::json& ages = j["nodes"]["5"]["ageMs"];
        ASSERT_EQ(h.samples(5), ages.size());
        EXPECT_LE(ages[0].get<long>(), 60000);
        EXPECT_EQ(0, ages.back().get<long>());
        // The newest sample is the last recorded, its raw value beside its value in the unit.
        EXPECT_EQ(c.count - 1, j["nodes"]["5"]["values"]["ACC_X/0"]["raw"].back());
        EXPECT_DOUBLE_EQ((c.count - 1) * 0.001, j["nodes"]["5"]["values"]["ACC_X/0"]["inUnit"].back().get<double>());
    }
}

TEST(ServerHistoryBounds, KeepsAtMostMaxNodesBoards) {
    History h;
    const Clock::time_point at{};
    for (int id = 1; id <= 30; ++id) h.record(id, at, valuesOf(id));
    for (int id = 1; id <= 30; ++id) {
        EXPECT_EQ(id <= static_cast<int>(History::maxNodes) ? 1u : 0u, h.samples(id)) << id;
    }
    EXPECT_EQ(History::maxNodes, h.toJson(at)["nodes"].size());
}

TEST(ServerHistoryBounds, SetsAreNumberedAndKeptForTheMinuteUpToTheirLimit) {
    History h;
    const Clock::time_point start{};
    const DataNames::Row* mode = DataNames::find(1, "GPS_MODE");
    for (int i = 0; i < 1000; ++i) h.recordSet(History::Set{0, start + milliseconds(10 * i), 5, mode, 32, 0, i % 3, 0});
    EXPECT_EQ(1000u, h.lastSet());
    const Clock::time_point now = start + milliseconds(10 * 999);
    nlohmann::json sets = h.toJson(now)["sets"];
    ASSERT_EQ(History::maxSets, sets.size());
    EXPECT_EQ(1000u - History::maxSets + 1, sets[0]["number"].get<uint64_t>());
    EXPECT_EQ("GPS_MODE", sets.back()["name"]);

    // A client told of set 998 is sent 999 and 1000 only.
    const nlohmann::json message = nlohmann::json::parse(h.setsMessage(998, now));
    EXPECT_EQ("sets", message["kind"]);
    ASSERT_EQ(2u, message["sets"].size());
    EXPECT_EQ(999u, message["sets"][0]["number"].get<uint64_t>());
    EXPECT_TRUE(h.setsMessage(1000, now).empty());

    // A minute later, none is left.
    h.recordSet(History::Set{0, now + std::chrono::seconds(61), 5, nullptr, 21, 0, 1, -63});
    sets = h.toJson(now + std::chrono::seconds(61))["sets"];
    ASSERT_EQ(1u, sets.size());
    EXPECT_FALSE(sets[0].contains("name"));   // a number the names do not list
    EXPECT_EQ(21, sets[0]["id"]);
}

}  // namespace
