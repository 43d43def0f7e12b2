#include "Api.h"

#include <cctype>
#include <cstdint>
#include <set>
#include <vector>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <nlohmann/json.hpp>

#include "DataUnit.h"
#include "History.h"
#include "StaticFiles.h"
#include "Vehicle.h"

namespace http = boost::beast::http;
using nlohmann::json;

namespace {

const size_t maxTarget = 256;

// Path segments after the leading '/'; empty segments are kept, so "//" or a
// trailing '/' never matches a route.
std::vector<std::string> segmentsOf(const std::string& path) {
    std::vector<std::string> out;
    size_t start = 1;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        out.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// One to maxDigits (at most 9) decimal digits, nothing else, within [low, high].
bool number(const std::string& text, size_t maxDigits, int low, int high, int& out) {
    if (text.empty() || text.size() > maxDigits) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    out = v;
    return true;
}

// What may be a data ID's name: letters, digits and '_', a letter first. It
// is then looked up exactly, so "gps_mode" or "GPS_MO" name nothing.
bool nameLike(const std::string& text) {
    if (text.empty() || text.size() > 64 || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

json rowJson(const DataNames::Row& row) {
    const DataUnit unit(row.unit);
    return json{{"id", row.id},         {"name", row.name},         {"readable", row.readable},
                {"settable", row.settable}, {"unit", row.unit},     {"symbol", unit.symbol()},
                {"scale", unit.scale()},  {"decimals", unit.decimals()}, {"text", row.text}};
}

json rowsJson(const std::vector<const DataNames::Row*>& rows) {
    json out = json::array();
    for (const DataNames::Row* row : rows) out.push_back(rowJson(*row));
    return out;
}

// The subprotocols a WebSocket handshake offers, in its order.
std::vector<std::string> offeredProtocols(const Api::Request& request) {
    const std::string list(request[http::field::sec_websocket_protocol]);
    std::vector<std::string> out;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(start, end - start);
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        if (!item.empty()) out.push_back(item);
        start = end + 1;
    }
    return out;
}

// A port as a browser writes it: 1 to 65535, decimal, no sign, no leading zero.
bool portNumber(const std::string& text) {
    int port = 0;
    return !text.empty() && text[0] != '0' && number(text, 5, 1, 65535, port);
}

// "localhost" (in any case), an IPv4 address of 127.0.0.0/8 or "[::1]",
// optionally followed by ":" and a port. The address must read back exactly
// as written, so that no spelling a lenient parser would take for a loopback
// address (127.1, 0127.0.0.1, 127.0.0.1.) passes, and nothing may follow
// the host but the port: a name such as 127.0.0.1.nip.io, which any site can
// point at this host, is refused.
bool loopbackAuthority(const std::string& authority) {
    const size_t hostEnd = authority.compare(0, 1, "[") == 0 ? authority.find(']') + 1 : authority.find(':');
    if (hostEnd == 0) return false;   // no host, or '[' without ']'
    const std::string host = authority.substr(0, hostEnd);
    if (hostEnd < authority.size() && (authority[hostEnd] != ':' || !portNumber(authority.substr(hostEnd + 1)))) {
        return false;
    }
    if (host == "[::1]" || boost::iequals(host, "localhost")) return true;
    boost::system::error_code ec;
    const boost::asio::ip::address_v4 address = boost::asio::ip::make_address_v4(host, ec);
    return !ec && address.is_loopback() && address.to_string() == host;
}

}  // namespace

Api::Api(const Vehicle& v, const StaticFiles& f, History& h, const Options& o)
    : vehicle(v), files(f), recent(h), options(o) {}

bool Api::sameToken(const std::string& given, const std::string& expected) {
    unsigned char diff = given.size() != expected.size();
    for (size_t i = 0; i < expected.size(); ++i) {
        const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        diff |= static_cast<unsigned char>(g ^ static_cast<unsigned char>(expected[i]));
    }
    return diff == 0;
}

std::string Api::tokenProtocol(const Request& request) const {
    const std::string prefix = "bearer.";
    for (const std::string& offered : offeredProtocols(request)) {
        if (offered.compare(0, prefix.size(), prefix) == 0 && sameToken(offered.substr(prefix.size()), options.token)) {
            return offered;
        }
    }
    return std::string();
}

bool Api::authorised(const Request& request, bool upgrade) const {
    if (options.token.empty()) return true;
    const auto header = request.find(http::field::authorization);
    if (header != request.end()) {
        const std::string value(header->value());
        const std::string scheme = "Bearer ";
        return value.compare(0, scheme.size(), scheme) == 0 && sameToken(value.substr(scheme.size()), options.token);
    }
    // A browser's WebSocket offers the token as a subprotocol: it cannot set
    // headers there. Anything else can, so nothing else may use this way.
    return upgrade && !tokenProtocol(request).empty();
}

std::string Api::streamProtocol(const Request& request) const {
    for (const std::string& offered : offeredProtocols(request)) {
        if (offered == "orq") return offered;
    }
    return options.token.empty() ? std::string() : tokenProtocol(request);
}

bool Api::hostAllowed(const Request& request) const {
    return !options.openReads ||
           (request.count(http::field::host) == 1 && loopbackAuthority(std::string(request[http::field::host])));
}

bool Api::originAllowed(const Request& request) {
    const size_t origins = request.count(http::field::origin);
    return origins == 0 || (origins == 1 && request.count(http::field::host) == 1 &&
                            boost::iequals(request[http::field::origin], "http://" + std::string(request[http::field::host])));
}

bool Api::plainFraming(const Request& request) {
    const size_t codings = request.count(http::field::transfer_encoding);
    if (codings == 0) return true;
    if (codings > 1 || request.count(http::field::content_length) != 0) return false;
    return boost::iequals(boost::algorithm::trim_copy(std::string(request[http::field::transfer_encoding])), "chunked");
}

Api::Response Api::reply(const Request& request, http::status status, const std::string& body) const {
    Response r{status, request.version()};
    r.set(http::field::content_type, "application/json");
    r.set(http::field::cache_control, "no-store");
    r.keep_alive(request.keep_alive());
    r.body() = body;
    r.prepare_payload();
    return r;
}

Api::Response Api::error(const Request& request, http::status status, const std::string& text) {
    Response r{status, request.version()};
    r.set(http::field::content_type, "application/json");
    r.set(http::field::cache_control, "no-store");
    if (status == http::status::unauthorized) r.set(http::field::www_authenticate, "Bearer");
    r.keep_alive(request.keep_alive());
    r.body() = json{{"error", text}}.dump();
    r.prepare_payload();
    return r;
}

Api::Response Api::handle(const Request& request) const {
    const std::string target(request.target());
    if (target.size() > maxTarget) return error(request, http::status::uri_too_long, "request target too long");
    if (target.empty() || target[0] != '/') return error(request, http::status::bad_request, "bad request target");
    const std::string path = target.substr(0, target.find('?'));
    const bool get = request.method() == http::verb::get;
    const std::vector<std::string> seg = segmentsOf(path);

    if (seg[0] != "api") {
        if (!get) return error(request, http::status::method_not_allowed, "method not allowed");
        return file(request, path);
    }

    // Guards against pages of other sites that the user's browser runs: a
    // name that resolves to this host (DNS rebinding) or a request sent from
    // another origin.
    if (!hostAllowed(request)) return error(request, http::status::forbidden, "host not allowed");
    if (!originAllowed(request)) return error(request, http::status::forbidden, "cross-origin request refused");

    // The route and its numbers first, then the method, then the token.
    int id = 0, dataID = -1, index = 0;
    const bool listing = seg.size() == 2 && (seg[1] == "nodes" || seg[1] == "link" || seg[1] == "stream" ||
                                             seg[1] == "names" || seg[1] == "history");
    const bool nodePath = seg.size() >= 3 && seg.size() <= 5 && seg[1] == "nodes";
    if (!listing && !nodePath) return error(request, http::status::not_found, "no such resource");
    if (nodePath) {
        if (!number(seg[2], 3, 1, 255, id)) return error(request, http::status::bad_request, "bad node ID");
        if (seg.size() >= 4 && !number(seg[3], 3, 0, 255, dataID) && !nameLike(seg[3])) {
            return error(request, http::status::bad_request, "bad data ID");
        }
        if (seg.size() == 5 && !number(seg[4], 3, 0, 255, index)) return error(request, http::status::bad_request, "bad index");
    }
    const bool valuePath = seg.size() >= 4;
    if (!get && !(valuePath && request.method() == http::verb::put)) {
        return error(request, http::status::method_not_allowed, "method not allowed");
    }
    if (!authorised(request, false) && (!get || !options.openReads)) {
        return error(request, http::status::unauthorized, "missing or wrong token");
    }

    if (seg.size() == 3) return node(request, id);
    if (valuePath) {
        const DataNames::Row* row = nullptr;
        Response refusal;
        if (!resolve(request, id, seg[3], dataID, row, refusal)) return refusal;
        return get ? value(request, id, dataID, row, index) : set(request, id, dataID, row, index);
    }
    if (seg[1] == "nodes") return nodes(request);
    if (seg[1] == "link") return link(request);
    if (seg[1] == "names") return names(request);
    if (seg[1] == "history") return history(request);
    return error(request, http::status::upgrade_required, "the stream is a WebSocket");
}

bool Api::admitStream(const Request& request, int& hz, Response& refusal) const {
    const std::string target(request.target());
    const size_t mark = target.find('?');
    const std::string path = target.substr(0, mark);
    const std::string query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
    if (path != "/api/stream") {
        refusal = error(request, http::status::not_found, "no such resource");
        return false;
    }
    if (!authorised(request, true)) {
        refusal = error(request, http::status::unauthorized, "missing or wrong token");
        return false;
    }
    if (!hostAllowed(request) || !originAllowed(request)) {
        refusal = error(request, http::status::forbidden, "cross-origin stream refused");
        return false;
    }
    hz = defaultStreamHz;
    const std::string key = "hz=";
    if (!query.empty() &&
        (query.compare(0, key.size(), key) != 0 || !number(query.substr(key.size()), 3, 1, maxStreamHz, hz))) {
        refusal = error(request, http::status::bad_request, "hz must be a whole number from 1 to 50");
        return false;
    }
    return true;
}

Api::Response Api::nodes(const Request& request) const {
    json list = json::array();
    for (const Vehicle::NodeRef& ref : vehicle.listNodes()) {
        int alive = 0, age = 0;
        if (!vehicle.aliveAndAge(ref.id, alive, age)) continue;
        list.push_back(json{{"id", ref.id}, {"type", ref.type}, {"typeName", DataNames::typeName(ref.type)},
                            {"alive", alive}, {"age", age}});
    }
    return reply(request, http::status::ok, json{{"nodes", std::move(list)}}.dump());
}

Api::Response Api::node(const Request& request, int id) const {
    Snapshot::Node n;
    int alive = 0, age = 0;
    bool known = false;
    for (const Vehicle::NodeRef& ref : vehicle.listNodes()) {
        if (ref.id == id) known = vehicle.readNode(ref, n) && vehicle.aliveAndAge(id, alive, age);
    }
    if (!known) return error(request, http::status::not_found, "no such node");
    json data = json::array();
    for (const Snapshot::Value& v : n.data) {
        data.push_back(json{{"id", v.row->id},
                            {"name", v.row->name},
                            {"unit", v.row->unit},
                            {"text", v.row->text},
                            {"settable", v.row->settable},
                            {"values", v.values},
                            {"inUnit", Snapshot::inUnit(*v.row, v.values)},
                            {"symbol", DataUnit(v.row->unit).symbol()}});
    }
    return reply(request, http::status::ok,
                 json{{"id", id}, {"type", n.type}, {"typeName", DataNames::typeName(n.type)}, {"alive", alive},
                      {"age", age}, {"data", std::move(data)}}
                     .dump());
}

Api::Response Api::link(const Request& request) const {
    json stats = json::object(), units = json::object();
    for (const Snapshot::Value& v : vehicle.readLink()) {
        if (v.values.empty()) continue;
        // Every statistic is a count: its value in its unit is the integer.
        stats[v.row->name] = v.values[0];
        units[v.row->name] = DataUnit(v.row->unit).symbol();
    }
    return reply(request, http::status::ok,
                 json{{"connection", options.connection},
                      {"ownId", vehicle.ownID()},
                      {"statistics", std::move(stats)},
                      {"units", std::move(units)}}
                     .dump());
}

Api::Response Api::names(const Request& request) const {
    json types = json::array();
    for (int type : {1, 0}) {
        types.push_back(json{{"type", type}, {"typeName", DataNames::typeName(type)}, {"rows", rowsJson(DataNames::rowsOfType(type))}});
    }
    return reply(request, http::status::ok,
                 json{{"types", std::move(types)}, {"link", rowsJson(DataNames::rows(DataNames::Link))}}.dump());
}

Api::Response Api::history(const Request& request) const {
    return reply(request, http::status::ok, recent.toJson(History::Clock::now()).dump());
}

bool Api::resolve(const Request& request, int id, const std::string& segment, int& dataID, const DataNames::Row*& row,
                  Response& refusal) const {
    const int type = vehicle.typeOf(id);
    if (dataID >= 0) {
        row = DataNames::find(type, dataID);
        return true;
    }
    if (type < 0) {
        refusal = error(request, http::status::not_found, "no such node");
        return false;
    }
    row = DataNames::find(type, segment);
    if (row == nullptr) {
        refusal = error(request, http::status::not_found,
                        std::string("no data ID of that name on a ") + DataNames::typeName(type));
        return false;
    }
    dataID = row->id;
    return true;
}

Api::Response Api::value(const Request& request, int id, int dataID, const DataNames::Row* row, int index) const {
    if (vehicle.typeOf(id) < 0) return error(request, http::status::not_found, "no such node");
    if (row == nullptr || !row->readable) return error(request, http::status::not_found, "no readable data ID of that number");
    int raw = 0;
    const int code = vehicle.read(id, dataID, index, raw);
    if (code != 0) {
        return reply(request, http::status::not_found,
                     json{{"error", "no such value"}, {"code", code}, {"name", Vehicle::codeName(code)}}.dump());
    }
    const DataUnit unit(row->unit);
    return reply(request, http::status::ok,
                 json{{"node", id},
                      {"id", dataID},
                      {"name", row->name},
                      {"index", index},
                      {"value", raw},
                      {"inUnit", Snapshot::inUnit(unit, raw)},
                      {"symbol", unit.symbol()},
                      {"unit", row->unit},
                      {"text", row->text}}
                     .dump());
}

Api::Response Api::set(const Request& request, int id, int dataID, const DataNames::Row* row, int index) const {
    // Keys seen in each object being read, innermost last: a repeated key
    // would otherwise be dropped silently, and a reader in front of this one
    // may keep the other value.
    std::vector<std::set<std::string>> keys;
    bool repeated = false;
    const json body = json::parse(
        request.body(),
        [&](int, json::parse_event_t event, json& parsed) {
            if (event == json::parse_event_t::object_start) keys.emplace_back();
            if (event == json::parse_event_t::object_end) keys.pop_back();
            if (event == json::parse_event_t::key && !keys.back().insert(parsed.get<std::string>()).second) repeated = true;
            return true;
        },
        false);
    if (body.is_discarded() || !body.is_object()) return error(request, http::status::bad_request, "body must be a JSON object");
    if (repeated) return error(request, http::status::bad_request, "the body repeats a key");
    if (body.size() != 1 || !body.contains("value")) {
        return error(request, http::status::bad_request, "body must be {\"value\": integer}");
    }
    const json& v = body["value"];
    int64_t value = 0;
    bool inRange = false;
    if (v.is_number_unsigned()) {
        inRange = v.get<uint64_t>() <= static_cast<uint64_t>(INT32_MAX);
        value = inRange ? static_cast<int64_t>(v.get<uint64_t>()) : 0;
    } else if (v.is_number_integer()) {
        value = v.get<int64_t>();
        inRange = value >= INT32_MIN && value <= INT32_MAX;
    }
    if (!inRange) return error(request, http::status::bad_request, "value must be an integer of 32 bits");

    const int code = vehicle.set(id, dataID, index, static_cast<int>(value));
    recent.recordSet(History::Set{0, History::Clock::now(), id, row, dataID, index, static_cast<int>(value), code});
    json answer{{"code", code}, {"name", Vehicle::codeName(code)}};
    if (code != 0) {
        answer["error"] = "set refused";
        return reply(request, http::status::conflict, answer.dump());
    }
    return reply(request, http::status::ok, answer.dump());
}

Api::Response Api::file(const Request& request, const std::string& path) const {
    const StaticFiles::File* f = files.find(path);
    if (f == nullptr) return error(request, http::status::not_found, "no such file");
    Response r{http::status::ok, request.version()};
    r.set(http::field::content_type, f->contentType);
    r.set(http::field::cache_control, "no-cache");
    r.set("X-Content-Type-Options", "nosniff");
    r.set("Content-Security-Policy",
          "default-src 'self'; connect-src 'self' ws: wss:; img-src 'self' data:; style-src 'self' 'unsafe-inline'");
    r.keep_alive(request.keep_alive());
    r.body() = f->body;
    r.prepare_payload();
    return r;
}
