#pragma once
// One picture of the vehicle as the library mirrors it: every node heard with
// all its readable values, and the link statistics. Filled once by
// Vehicle::sample and never changed after, so one picture is shared by every
// stream client without a lock. Renders itself as a stream message: whole, or
// as what changed since an older picture.
//
// Stream messages:
//   {"kind":"snapshot","nodes":{"5":{"type":1,"typeName":"flight-board",
//     "values":{"ACC_X":[12],...},"inUnit":{"ACC_X":[0.012],...},
//     "units":{"ACC_X":"g",...}},...},"link":{"RECEIVED_FRAMES":9,...}}
//   {"kind":"delta","nodes":{"5":{"values":{"ACC_X":[13]},"inUnit":{"ACC_X":[0.013]}}},
//     "removed":[6],"link":{"RECEIVED_FRAMES":10}}
// "values" are the raw integers; "inUnit" the same values in the row's unit
// (DataUnit), whose symbol "units" names ("raw" when not known, "" for none).
// A delta names a node's type and units again only when the node is new or
// its type changed (it then carries all of its values).
#include <map>
#include <vector>

#include <nlohmann/json.hpp>

#include "DataNames.h"
#include "DataUnit.h"

class Snapshot {
public:
    struct Value {
        const DataNames::Row* row;
        std::vector<int> values;   // index 0 upwards, as far as the node has elements
    };
    struct Node {
        int id = 0;
        int type = -1;             // -1 while the node has not told its type
        std::vector<Value> data;   // the readable rows of its type, in row order
    };

    std::map<int, Node> nodes;
    std::vector<Value> link;

    // A raw value in its row's unit as a JSON number: the raw integer itself
    // for a scale of 1 or an unknown unit, else the number DataUnit shows
    // ("1e-7 deg": 473977420 -> 47.397742), never a binary neighbour of it.
    static nlohmann::json inUnit(const DataUnit& unit, int raw);
    static nlohmann::json inUnit(const DataNames::Row& row, const std::vector<int>& raws);

    nlohmann::json full() const;
    // Null when nothing changed since older.
    nlohmann::json delta(const Snapshot& older) const;
};
