#include "Snapshot.h"

#include <string>

namespace {

using nlohmann::json;

// Both lists hold the rows of one device in the same order; before empty:
// every row. The node's "values" and "inUnit" of what changed; empty when
// nothing did.
json changedValues(const std::vector<Snapshot::Value>& now, const std::vector<Snapshot::Value>& before) {
    json values = json::object(), inUnit = json::object();
    for (size_t i = 0; i < now.size(); ++i) {
        if (i >= before.size() || before[i].row != now[i].row || before[i].values != now[i].values) {
            values[now[i].row->name] = now[i].values;
            inUnit[now[i].row->name] = Snapshot::inUnit(*now[i].row, now[i].values);
        }
    }
    if (values.empty()) return json::object();
    return json{{"values", std::move(values)}, {"inUnit", std::move(inUnit)}};
}

json wholeNode(const Snapshot::Node& node) {
    json out = changedValues(node.data, {});
    if (out.empty()) out = json{{"values", json::object()}, {"inUnit", json::object()}};
    json units = json::object();
    for (const Snapshot::Value& v : node.data) units[v.row->name] = DataUnit(v.row->unit).symbol();
    out["type"] = node.type;
    out["typeName"] = DataNames::typeName(node.type);
    out["units"] = std::move(units);
    return out;
}

json linkJson(const std::vector<Snapshot::Value>& link) {
    json out = json::object();
    for (const Snapshot::Value& v : link) {
        if (!v.values.empty()) out[v.row->name] = v.values[0];
    }
    return out;
}

}  // namespace

json Snapshot::inUnit(const DataUnit& unit, int raw) {
    if (unit.scale() == 1.0) return raw;
    return std::stod(unit.format(raw));
}

json Snapshot::inUnit(const DataNames::Row& row, const std::vector<int>& raws) {
    const DataUnit unit(row.unit);
    json out = json::array();
    for (int raw : raws) out.push_back(inUnit(unit, raw));
    return out;
}

json Snapshot::full() const {
    json out{{"kind", "snapshot"}, {"nodes", json::object()}, {"link", linkJson(link)}};
    for (const auto& entry : nodes) out["nodes"][std::to_string(entry.first)] = wholeNode(entry.second);
    return out;
}

json Snapshot::delta(const Snapshot& older) const {
    json changedNodes = json::object();
    for (const auto& entry : nodes) {
        const Node& node = entry.second;
        const auto before = older.nodes.find(entry.first);
        if (before == older.nodes.end() || before->second.type != node.type) {
            changedNodes[std::to_string(node.id)] = wholeNode(node);
            continue;
        }
        json values = changedValues(node.data, before->second.data);
        if (!values.empty()) changedNodes[std::to_string(node.id)] = std::move(values);
    }
    json removed = json::array();
    for (const auto& entry : older.nodes) {
        if (nodes.count(entry.first) == 0) removed.push_back(entry.first);
    }
    json changedLink = json::object();
    for (size_t i = 0; i < link.size(); ++i) {
        const bool moved = i >= older.link.size() || older.link[i].values != link[i].values;
        if (moved && !link[i].values.empty()) changedLink[link[i].row->name] = link[i].values[0];
    }
    if (changedNodes.empty() && removed.empty() && changedLink.empty()) return nullptr;
    json out{{"kind", "delta"}, {"nodes", std::move(changedNodes)}};
    if (!removed.empty()) out["removed"] = std::move(removed);
    if (!changedLink.empty()) out["link"] = std::move(changedLink);
    return out;
}
