#include "Snapshot.h"

#include <string>

namespace {

using nlohmann::json;

json wholeNode(const Snapshot::Node& node) {
    json values = json::object();
    for (const Snapshot::Value& v : node.data) values[v.row->name] = v.values;
    return json{{"type", node.type}, {"typeName", DataNames::typeName(node.type)}, {"values", std::move(values)}};
}

// Both lists hold the rows of one device in the same order.
json changedValues(const std::vector<Snapshot::Value>& now, const std::vector<Snapshot::Value>& before) {
    json out = json::object();
    for (size_t i = 0; i < now.size(); ++i) {
        if (i >= before.size() || before[i].row != now[i].row || before[i].values != now[i].values) {
            out[now[i].row->name] = now[i].values;
        }
    }
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
        if (!values.empty()) changedNodes[std::to_string(node.id)] = json{{"values", std::move(values)}};
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
