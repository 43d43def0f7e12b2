// The unit column of the data IDs read as every tool shows it: the scale, the
// decimals it needs and the symbol; and every row of the list readable so.
#include <gtest/gtest.h>

#include <string>

#include "DataNames.h"
#include "DataUnit.h"

namespace {

TEST(DataUnit, ShowsTheRawIntegerInItsUnit) {
    struct Case {
        const char* column;
        int64_t raw;
        const char* shown;
        bool known;
    };
    const Case cases[] = {
        {"0.1 degC", 215, "21.5 degC", true},
        {"0.1 degC", -5, "-0.5 degC", true},
        {"0.001 g", 981, "0.981 g", true},
        {"0.01 m", 51900, "519.00 m", true},
        {"1e-7 deg", 474000000, "47.4000000 deg", true},
        {"1e-7 deg", -1, "-0.0000001 deg", true},
        {"Pa", 95432, "95432 Pa", true},
        {"raw", -17, "-17 raw", false},
        {"", 3, "3", true},
        {"x y", 2, "2 x y", true},  // no scale before the space: all of it is the symbol
    };
    for (const Case& c : cases) {
        const DataUnit unit(c.column);
        EXPECT_EQ(c.shown, unit.withSymbol(c.raw)) << c.column;
        EXPECT_EQ(c.known, unit.known()) << c.column;
    }
}

TEST(DataUnit, EveryListedUnitHasAScaleOrNone) {
    for (auto device : {DataNames::FlightBoard, DataNames::GroundStation, DataNames::Link}) {
        for (const DataNames::Row* row : DataNames::rows(device)) {
            const DataUnit unit(row->unit);
            EXPECT_EQ(std::string::npos, unit.symbol().find(' ')) << row->name << ": \"" << row->unit << "\"";
            EXPECT_GT(unit.scale(), 0) << row->name;
        }
    }
}

TEST(DataNames, FindsARowByNumberAndByName) {
    ASSERT_NE(nullptr, DataNames::find(1, "GPS_MODE"));
    EXPECT_EQ(32, DataNames::find(1, "GPS_MODE")->id);
    EXPECT_STREQ("TEMPERATURE", DataNames::find(0, 14)->name);
    EXPECT_EQ(nullptr, DataNames::find(0, "GPS_MODE")) << "a ground station has no GPS mode";
    EXPECT_EQ(nullptr, DataNames::find(1, "gps_mode")) << "names are exact";
    EXPECT_EQ(nullptr, DataNames::find(7, 32)) << "an unknown type has no rows";
}

}  // namespace
