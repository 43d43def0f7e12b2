#include "Vehicle.h"

#include <algorithm>

#include "Dll.h"
#include "ErrorName.h"

namespace {

enum { idType = 30, idAlive = 48, idAge = 51 };
// No field of a device model has more elements; the loop stops long before.
const int maxIndexes = 256;

}  // namespace

Vehicle::Vehicle(int ownID) : own(ownID) {}

std::vector<Vehicle::NodeRef> Vehicle::listNodes() const {
    // Typed nodes only, by ID: one still waiting for its type reply has no
    // values to show yet.
    int ids[256];
    int types[256];
    int size = 256;
    std::vector<NodeRef> nodes;
    if (getComponents(ids, types, &size) != ERROR_NO) return nodes;
    for (int i = 0; i < size; ++i) {
        if (types[i] >= 0) nodes.push_back(NodeRef{ids[i], types[i]});
    }
    std::sort(nodes.begin(), nodes.end(), [](const NodeRef& a, const NodeRef& b) { return a.id < b.id; });
    return nodes;
}

int Vehicle::typeOf(int id) const {
    for (const NodeRef& ref : listNodes()) {
        if (ref.id == id) return ref.type;
    }
    return -1;
}

int Vehicle::read(int component, int dataID, int index, int& value) const {
    return getData(component, dataID, &value, index);
}

bool Vehicle::aliveAndAge(int id, int& alive, int& age) const {
    return getData(id, idAlive, &alive, 0) == ERROR_NO && getData(id, idAge, &age, 0) == ERROR_NO;
}

std::vector<int> Vehicle::readIndexes(int component, int dataID) const {
    std::vector<int> values;
    for (int index = 0; index < maxIndexes; ++index) {
        int value = 0;
        if (getData(component, dataID, &value, index) != ERROR_NO) break;
        values.push_back(value);
    }
    return values;
}

bool Vehicle::readNode(const NodeRef& ref, Snapshot::Node& out) const {
    out.id = ref.id;
    out.type = ref.type;
    out.data.clear();
    int type = -1;
    // A node listed before it told its type has no values yet; a typed node
    // that no longer answers is gone.
    if (getData(ref.id, idType, &type, 0) != ERROR_NO) return ref.type < 0;
    out.type = type;
    for (const DataNames::Row* row : DataNames::rowsOfType(type)) {
        if (row->readable) out.data.push_back(Snapshot::Value{row, readIndexes(ref.id, row->id)});
    }
    return true;
}

std::vector<Snapshot::Value> Vehicle::readLink() const {
    std::vector<Snapshot::Value> link;
    for (const DataNames::Row* row : DataNames::rows(DataNames::Link)) {
        link.push_back(Snapshot::Value{row, readIndexes(own, row->id)});
    }
    return link;
}

Snapshot Vehicle::sample() const {
    Snapshot s;
    for (const NodeRef& ref : listNodes()) {
        Snapshot::Node node;
        if (readNode(ref, node)) s.nodes[ref.id] = std::move(node);
    }
    s.link = readLink();
    return s;
}

int Vehicle::set(int component, int dataID, int index, int value) const {
    return setData(component, dataID, value, index);
}

const char* Vehicle::codeName(int code) { return ErrorName::of(code); }
