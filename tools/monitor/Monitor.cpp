#include "Monitor.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "DataNames.h"
#include "DataUnit.h"
#include "Dll.h"
#include "ErrorName.h"
#include "OpenHint.h"

namespace {

const double setConfirmSeconds = 5.0;   // how long a node gets to report a set value back
const double drawPeriodTerminal = 0.5;
const double drawPeriodPlain = 1.0;
const int tickMs = 100;

// Host data IDs read for every node (both device kinds share the numbers).
enum {
    idAccX = 3, idGyroX = 6, idCompassX = 9, idPressure = 13, idDcmX = 15, idLongitude = 18,
    idLatitude = 19, idAltitude = 20, idType = 30, idGpsMode = 32, idDebug = 39, idAlive = 48,
    idAge = 51, idReceiveErrors = 45, idReceivedMessages = 46, idReceivedBytes = 47, idReplayEnded = 50
};

// Debug block elements shown: battery and loop times of the flight board,
// loop times of the ground station.
enum { fbBatteryVoltage = 0, fbBatteryCurrent = 1, fbBatteryUsed = 2, fbLoopTime = 4, fbLoopMin = 5, fbLoopMax = 6 };
enum { gsLoopTime = 2, gsLoopMin = 3, gsLoopMax = 4 };

// Values of one data ID's unit, the symbol once at the end ("acc 0.012 -0.002
// 0.981 g", "compass 17 3 -5 raw"); plain integers for an ID the type does not list.
std::string inUnits(int type, int dataID, std::initializer_list<int64_t> raws) {
    const DataNames::Row* row = DataNames::find(type, dataID);
    const DataUnit unit(row ? row->unit : "");
    std::string out;
    for (int64_t raw : raws) out += (out.empty() ? "" : " ") + unit.format(raw);
    return unit.symbol().empty() ? out : out + " " + unit.symbol();
}

std::string dataText(const Monitor::Set& s) {
    if (s.dataName.empty()) return std::to_string(s.dataID);
    return s.dataID < 0 ? s.dataName : s.dataName + " (" + std::to_string(s.dataID) + ")";
}

std::string setText(const Monitor::Set& s) {
    return "set node " + std::to_string(s.component) + " data " + dataText(s) + "[" + std::to_string(s.index) +
           "] = " + std::to_string(s.value);
}

const char* gpsModeName(int mode) {
    switch (mode) {
    case 0: return "Free";
    case 1: return "Hold";
    case 2: return "Home";
    case 3: return "Unknown";
    default: return "?";
    }
}

// One batch read of a node, so that all values come from one consistent picture.
class Batch {
public:
    void add(int dataID, int index = 0) {
        ids.push_back(dataID);
        indexes.push_back(index);
    }
    bool read(int component) {
        values.assign(ids.size(), -1);
        int size = static_cast<int>(values.size());
        return getDataKomplex(component, ids.data(), indexes.data(), static_cast<int>(ids.size()), values.data(), &size) == 0;
    }
    int operator[](size_t i) const { return values[i]; }

private:
    std::vector<int> ids, indexes, values;
};

}  // namespace

Monitor::Monitor(const Options& opts) : options(opts), terminal(isatty(STDOUT_FILENO) == 1) {
    for (const Set& s : options.sets) {
        Tracked t;
        t.set = s;
        tracked.push_back(t);
    }
}

int Monitor::run(const volatile sig_atomic_t& stop) {
    // Started before init, the capture begins with the link.
    if (!options.capturePath.empty() && startCapture(options.capturePath.c_str()) != 0) {
        std::printf("orq-monitor: cannot create the capture file %s\n", options.capturePath.c_str());
        std::fflush(stdout);
        return 1;
    }
    const int started = init(options.ownID, 0, options.device.c_str());
    if (started != 0) {
        std::printf("orq-monitor: cannot start on %s (init returned %s)\n", options.device.c_str(),
                    ErrorName::withCode(started).c_str());
        const std::string hint = OpenHint::forConnection(options.device);
        if (!hint.empty()) std::printf("orq-monitor: %s\n", hint.c_str());
        std::fflush(stdout);
        deinit();
        return 1;
    }
    event(0, "started on " + options.device + " with own ID " + std::to_string(options.ownID & 0xFF));
    if (!options.capturePath.empty()) event(0, "recording into " + options.capturePath);

    const auto begin = std::chrono::steady_clock::now();
    double lastDraw = -1e9;
    while (!stop) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (options.durationSeconds > 0 && t >= options.durationSeconds) break;
        applySets(t);
        watchSets(t);
        watchReplay(t);
        if (replayEnded) break;
        if (t - lastDraw >= (terminal ? drawPeriodTerminal : drawPeriodPlain)) {
            draw(t);
            lastDraw = t;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(tickMs));
    }
    const double end = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    draw(end);
    const std::string summary = replayEnded ? replaySummary(end) : "";
    deinit();

    int code = 0;
    for (const Tracked& tr : tracked) {
        if (tr.failed || !tr.done) code = 3;
    }
    const char* setNote = code == 0 ? "" : " (a set failed or was not reported back)";
    if (replayEnded) {
        std::printf("orq-monitor: %s%s\n", summary.c_str(), setNote);
    } else {
        std::printf("orq-monitor: stopped after %.1f s%s\n", end, setNote);
    }
    std::fflush(stdout);
    return code;
}

void Monitor::applySets(double t) {
    for (Tracked& tr : tracked) {
        if (tr.sent || t < tr.set.atSeconds) continue;
        if (trySet(tr, t)) {
            tr.sent = true;
            tr.sentAt = t;
        }
    }
}

bool Monitor::trySet(Tracked& tr, double t) {
    Set& s = tr.set;
    // A node becomes typed about a second after it is first heard; the set
    // waits for that (up to the set timeout) rather than failing with -62.
    const int typed = waitForComponent(s.component, 0);
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", options.setTimeoutSeconds);
    if (typed == ERROR_COMPONENT_NOT_SUPPORTED && t - s.atSeconds < options.setTimeoutSeconds) {
        if (!tr.waitTold) {
            tr.waitTold = true;
            event(t, setText(s) + ": waiting up to " + limit + " s for node " + std::to_string(s.component) +
                         " to be typed");
        }
        return false;
    }
    if (typed == ERROR_NO && !s.dataName.empty()) {
        // A name's number depends on the node's type.
        int type = -1;
        getData(s.component, idType, &type, 0);
        const DataNames::Row* row = DataNames::find(type, s.dataName);
        if (row == nullptr) {
            tr.failed = tr.done = true;
            event(t, setText(s) + ": a " + DataNames::typeName(type) + " has no data " + s.dataName + " (failed)");
            return true;
        }
        s.dataID = row->id;
    }
    const int result = typed == ERROR_NO ? setData(s.component, s.dataID, s.value, s.index) : typed;
    std::string text = setText(s) + " -> " + ErrorName::withCode(result);
    if (result != 0) {
        tr.failed = tr.done = true;
        text += typed == ERROR_COMPONENT_NOT_SUPPORTED
                    ? " (failed: node " + std::to_string(s.component) + " not typed within " + limit + " s)"
                    : " (failed)";
    }
    event(t, text);
    return true;
}

void Monitor::watchSets(double t) {
    for (Tracked& tr : tracked) {
        if (!tr.sent || tr.done) continue;
        const Set& s = tr.set;
        int value = 0;
        const int result = getData(s.component, s.dataID, &value, s.index);
        std::ostringstream text;
        text << "node " << s.component << " data " << dataText(s) << "[" << s.index << "]";
        if (result == ERROR_DATATYPE_NOT_SUPPORTED) {
            // A set-only value: nothing to watch.
            tr.done = true;
            event(t, text.str() + " cannot be read back");
        } else if (result == 0 && value == s.value) {
            tr.done = true;
            char after[32];
            std::snprintf(after, sizeof after, "%.1f", t - tr.sentAt);
            text << " reported back = " << value << " (" << after << " s after the set)";
            event(t, text.str());
        } else if (t - tr.sentAt > setConfirmSeconds) {
            tr.done = tr.failed = true;
            text << " not reported back within " << setConfirmSeconds << " s (reads " << value << ", code "
                 << ErrorName::withCode(result) << ")";
            event(t, text.str());
        }
    }
}

std::vector<Monitor::Node> Monitor::discover() const {
    // The library's own list; nodes still being typed are left out, their
    // values are not readable yet. IDs are 1..255, each listed once.
    int ids[255], types[255];
    int size = 255;
    std::vector<Node> nodes;
    if (getComponents(ids, types, &size) != 0) return nodes;
    for (int i = 0; i < size; ++i) {
        if (types[i] >= 0) nodes.push_back(Node{ids[i], types[i]});
    }
    std::sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) { return a.id < b.id; });
    return nodes;
}

void Monitor::watchReplay(double t) {
    int ended = 0;
    if (replayEnded || getData(options.ownID, idReplayEnded, &ended, 0) != 0 || ended != 1) return;
    replayEnded = true;
    event(t, "replay ended: the capture has no more records; the values stay as they were");
}

std::string Monitor::linkLine() const {
    int errors = 0, messages = 0, bytes = 0;
    const int own = options.ownID;
    if (getData(own, idReceiveErrors, &errors, 0) != 0 || getData(own, idReceivedMessages, &messages, 0) != 0 ||
        getData(own, idReceivedBytes, &bytes, 0) != 0) {
        return "link: statistics not available";
    }
    std::ostringstream s;
    s << "link: receive errors " << errors << " received messages " << messages << " received bytes "
      << static_cast<unsigned>(bytes);
    if (replayEnded) s << " (replay ended)";
    return s.str();
}

std::string Monitor::replaySummary(double t) const {
    int errors = 0, frames = 0, bytes = 0;
    const int own = options.ownID;
    getData(own, idReceiveErrors, &errors, 0);
    getData(own, idReceivedMessages, &frames, 0);
    getData(own, idReceivedBytes, &bytes, 0);
    std::ostringstream s;
    char after[32];
    std::snprintf(after, sizeof after, "%.1f", t);
    s << "replay ended after " << after << " s: " << frames << " frames (" << errors << " damaged), "
      << static_cast<unsigned>(bytes) << " bytes received; nodes:";
    const std::vector<Node> nodes = discover();
    for (size_t i = 0; i < nodes.size(); ++i) {
        s << (i ? ", " : " ") << nodes[i].id << " " << DataNames::typeName(nodes[i].type);
    }
    if (nodes.empty()) s << " none";
    return s.str();
}

std::string Monitor::nodeLine(const Node& node, const char* separator) const {
    Batch b;
    b.add(idAlive);
    b.add(idAge);
    for (int i = 0; i < 3; ++i) b.add(idDcmX + i);
    for (int i = 0; i < 3; ++i) b.add(idAccX + i);
    for (int i = 0; i < 3; ++i) b.add(idGyroX + i);
    for (int i = 0; i < 3; ++i) b.add(idCompassX + i);
    b.add(idPressure);
    const bool fb = node.type == 1;
    if (fb) {
        b.add(idLongitude);
        b.add(idLatitude);
        b.add(idAltitude);
        for (int e : {fbBatteryVoltage, fbBatteryCurrent, fbBatteryUsed, fbLoopTime, fbLoopMin, fbLoopMax}) b.add(idDebug, e);
        b.add(idGpsMode);
    } else {
        for (int e : {gsLoopTime, gsLoopMin, gsLoopMax}) b.add(idDebug, e);
    }
    std::ostringstream s;
    const int type = node.type;
    s << "node " << node.id << " " << DataNames::typeName(type);
    if (!b.read(node.id)) {
        s << " (gone)";
        return s.str();
    }
    s << " alive " << b[0] << " age " << inUnits(type, idAge, {static_cast<unsigned>(b[1])});
    s << separator << "dcm " << inUnits(type, idDcmX, {b[2], b[3], b[4]});
    s << separator << "acc " << inUnits(type, idAccX, {b[5], b[6], b[7]});
    s << separator << "gyro " << inUnits(type, idGyroX, {b[8], b[9], b[10]});
    s << separator << "compass " << inUnits(type, idCompassX, {b[11], b[12], b[13]});
    s << separator << "pressure " << inUnits(type, idPressure, {b[14]});
    if (fb) {
        s << separator << "position " << inUnits(type, idLongitude, {b[15]}) << " "
          << inUnits(type, idLatitude, {b[16]}) << " " << inUnits(type, idAltitude, {b[17]});
        s << separator << "battery U " << b[18] << " I " << b[19] << " used " << b[20] << " raw";
        s << separator << "loop " << b[21] << " (" << b[22] << ".." << b[23] << ") raw";
        s << separator << "gps mode " << b[24] << " " << gpsModeName(b[24]);
    } else {
        s << separator << "loop " << b[15] << " (" << b[16] << ".." << b[17] << ") raw";
    }
    return s.str();
}

void Monitor::draw(double t) {
    const std::vector<Node> nodes = discover();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.1f s", t);
    if (terminal) {
        // Redraw in place: home, clear, then the whole view.
        std::printf("\033[H\033[2J");
        std::printf("orq-monitor  %s  own ID %d  %s  (Ctrl-C to stop)\n", options.device.c_str(), options.ownID & 0xFF, stamp);
        std::printf("%s\n\n", linkLine().c_str());
        if (nodes.empty()) std::printf("no typed node heard yet\n");
        for (const Node& n : nodes) std::printf("%s\n\n", nodeLine(n, "\n    ").c_str());
        const size_t shown = 8;
        for (size_t i = events.size() > shown ? events.size() - shown : 0; i < events.size(); ++i) {
            std::printf("%s\n", events[i].c_str());
        }
    } else {
        std::printf("[monitor] %s %s\n", stamp, linkLine().c_str());
        if (nodes.empty()) std::printf("[monitor] %s no typed node heard yet\n", stamp);
        for (const Node& n : nodes) std::printf("[monitor] %s %s\n", stamp, nodeLine(n, " | ").c_str());
    }
    std::fflush(stdout);
}

void Monitor::event(double t, const std::string& text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.1f s", t);
    events.push_back(std::string("[monitor] ") + stamp + " " + text);
    // On a terminal the next redraw shows it; plain output gets it at once.
    if (!terminal) {
        std::printf("%s\n", events.back().c_str());
        std::fflush(stdout);
    }
}
