#include "DataNames.h"

namespace {

// The access column of DataIds.def, as the macro below spells it.
enum Access { R = 1, W = 2, RW = 3 };

const DataNames::Device FLIGHT_BOARD = DataNames::FlightBoard;
const DataNames::Device GROUND_STATION = DataNames::GroundStation;
const DataNames::Device LINK = DataNames::Link;

const DataNames::Row table[] = {
#define ORQ_DATA_ID(DEVICE, ID, NAME, ACCESS, UNIT, TEXT) \
    {DEVICE, ID, #NAME, ((ACCESS) & R) != 0, ((ACCESS) & W) != 0, UNIT, TEXT},
#include "DataIds.def"
#undef ORQ_DATA_ID
};

std::vector<const DataNames::Row*> select(DataNames::Device device) {
    std::vector<const DataNames::Row*> out;
    for (const DataNames::Row& row : table) {
        if (row.device == device) out.push_back(&row);
    }
    return out;
}

}  // namespace

const std::vector<const DataNames::Row*>& DataNames::rows(Device device) {
    static const std::vector<const Row*> flightBoard = select(FlightBoard);
    static const std::vector<const Row*> groundStation = select(GroundStation);
    static const std::vector<const Row*> link = select(Link);
    switch (device) {
    case FlightBoard: return flightBoard;
    case GroundStation: return groundStation;
    case Link: break;
    }
    return link;
}

const std::vector<const DataNames::Row*>& DataNames::rowsOfType(int type) {
    static const std::vector<const Row*> none;
    if (type == 1) return rows(FlightBoard);
    if (type == 0) return rows(GroundStation);
    return none;
}

const char* DataNames::typeName(int type) {
    return type == 1 ? "flight-board" : type == 0 ? "ground-station" : "unknown";
}

const DataNames::Row* DataNames::find(int type, int id) {
    for (const Row* row : rowsOfType(type)) {
        if (row->id == id) return row;
    }
    return nullptr;
}

const DataNames::Row* DataNames::find(int type, const std::string& name) {
    for (const Row* row : rowsOfType(type)) {
        if (name == row->name) return row;
    }
    return nullptr;
}
