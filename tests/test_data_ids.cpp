// The list of data IDs (DataIds.def) held to the data maps: every row's ID is
// accepted by its device's map in the row's directions, and every ID a map
// accepts (walking -1..60) is a row. Hosts name IDs from that list (the
// Python enums are made from it), so a name never points at a missing entry.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "datamaps/ComponentDLLInterface.h"
#include "models/ComponentQRNClient.h"
#include "datamaps/ComponentQRNInterface.h"
#include "models/ComponentVKRClient.h"
#include "datamaps/ComponentVKRInterface.h"
#include "host/Dll.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

namespace {

enum class Device { FLIGHT_BOARD, GROUND_STATION, LINK };
enum Access { R = 1, W = 2, RW = 3 };

struct Row {
    Device device;
    int id;
    const char* name;
    int access;
};

#define ORQ_DATA_ID(DEVICE, ID, NAME, ACCESS, UNIT, TEXT) {Device::DEVICE, ID, #NAME, ACCESS},
const Row rows[] = {
#include "host/DataIds.def"
};
#undef ORQ_DATA_ID

// Directions (R, W) in which a map has an entry for an ID: any answer but
// -63. Index 0 and value 1 are valid for most entries; where they are not,
// the map still answers -65 or -67, which shows the entry exists.
using Probe = std::function<int(int dataID, bool set)>;

int accessOf(const Probe& probe, int id) {
    return (probe(id, false) != ERROR_DATATYPE_NOT_SUPPORTED ? R : 0) |
           (probe(id, true) != ERROR_DATATYPE_NOT_SUPPORTED ? W : 0);
}

template <class Map, class Target>
Probe probeOf(Target* target) {
    return [target](int dataID, bool set) {
        Map map;
        int slot = 1;
        int* cursor = &slot;
        int left = 1;
        return set ? map.setDataKomplexPart(target, dataID, 0, &cursor, &left)
                   : map.getDataKomplexPart(target, dataID, 0, &cursor, &left);
    };
}

class DataIdList : public ::testing::Test {
protected:
    DataIdList() : board(new ORQ::ComponentVKRClient(5)), station(new ORQ::ComponentQRNClient(6)) {
        mm.addMessageSystem(&ms);
        mm.setMyID(1);
        mm.getWorldModel()->addComponent(board);
        mm.getWorldModel()->addComponent(station);
    }

    // The map's access of every ID from -1 to 60 that it has an entry for.
    static std::map<int, int> walk(const Probe& probe) {
        std::map<int, int> accepted;
        for (int id = -1; id <= 60; ++id) {
            if (const int access = accessOf(probe, id)) accepted[id] = access;
        }
        return accepted;
    }

    static std::map<int, int> listed(Device device) {
        std::map<int, int> ids;
        for (const Row& r : rows) {
            if (r.device == device) ids[r.id] = r.access;
        }
        return ids;
    }

    ORQ::MessageSystem ms;  // outlives the manager that sends through it
    ORQ::MessageManager mm;
    ORQ::ComponentVKRClient* board;    // owned by the world model
    ORQ::ComponentQRNClient* station;  // owned by the world model
};

TEST_F(DataIdList, FlightBoardRowsAreExactlyTheFlightBoardMap) {
    EXPECT_EQ(walk(probeOf<ComponentVKRInterface>(board)), listed(Device::FLIGHT_BOARD));
}

TEST_F(DataIdList, GroundStationRowsAreExactlyTheGroundStationMap) {
    EXPECT_EQ(walk(probeOf<ComponentQRNInterface>(station)), listed(Device::GROUND_STATION));
}

TEST_F(DataIdList, LinkRowsAreExactlyTheLinkStatistics) {
    EXPECT_EQ(walk(probeOf<ComponentDLLInterface>(&ms)), listed(Device::LINK));
}

TEST(DataIdRows, AreInAscendingIdOrderWithUniqueNamesPerDevice) {
    std::map<Device, std::set<std::string>> names;
    const Row* previous = nullptr;
    for (const Row& r : rows) {
        if (previous && previous->device == r.device) {
            EXPECT_LT(previous->id, r.id) << r.name;
        }
        EXPECT_TRUE(names[r.device].insert(r.name).second) << r.name;
        previous = &r;
    }
}

}  // namespace
