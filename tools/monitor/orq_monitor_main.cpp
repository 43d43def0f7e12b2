// orq-monitor: watches the nodes on a link through liborq.so.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>

#include "DataNames.h"
#include "Monitor.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

// Exit code of a bad command line.
const int badArgument = 2;

bool parseInt(const std::string& s, int& v) {
    try {
        std::size_t used = 0;
        v = std::stoi(s, &used);
        return used == s.size();
    } catch (const std::exception&) {
        return false;
    }
}

// COMP:DATAID:INDEX:VALUE[@SECONDS]; DATAID a number or a DataIds.def name
// of either device. "" when it parses, else why not.
std::string parseSet(const std::string& text, Monitor::Set& set) {
    std::string body = text;
    const size_t at = body.find('@');
    if (at != std::string::npos) {
        try {
            std::size_t used = 0;
            set.atSeconds = std::stod(body.substr(at + 1), &used);
            if (used != body.size() - at - 1 || set.atSeconds < 0) return "bad time after @ in " + text;
        } catch (const std::exception&) {
            return "bad time after @ in " + text;
        }
        body.resize(at);
    }
    std::string parts[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t colon = i < 3 ? body.find(':', start) : body.size();
        if (colon == std::string::npos) return "expected COMP:DATAID:INDEX:VALUE[@SECONDS], got " + text;
        parts[i] = body.substr(start, colon - start);
        start = colon + 1;
    }
    if (!parseInt(parts[0], set.component) || !parseInt(parts[2], set.index) || !parseInt(parts[3], set.value) ||
        start != body.size() + 1) {
        return "expected COMP:DATAID:INDEX:VALUE[@SECONDS] with whole numbers, got " + text;
    }
    if (!parseInt(parts[1], set.dataID)) {
        if (DataNames::find(1, parts[1]) == nullptr && DataNames::find(0, parts[1]) == nullptr) {
            return "no data ID named " + parts[1] + " (see DataIds.def)";
        }
        set.dataName = parts[1];
        set.dataID = -1;  // the number follows from the node's type once it is typed
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    Monitor::Options options;
    std::vector<std::string> setTexts;

    CLI::App app("Watches the nodes on a link through liborq.so: their values, the link's statistics, and sets.",
                 "orq-monitor");
    app.set_version_flag("--version", std::string("orq-monitor ") + ORQ_VERSION);
    app.add_option("--id", options.ownID, "the library's own ID on the line (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1, 255));
    app.add_option("--duration", options.durationSeconds, "stop after S seconds (default: run until Ctrl-C)")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--capture", options.capturePath,
                   "record the link's traffic into the capture file PATH (see orq-dump, orq-plot)")
        ->type_name("PATH");
    app.add_option("--set", setTexts,
                   "set a value on a node, optionally S seconds after the start, once the node is typed, and "
                   "watch the node report it back; DATAID is a number or a name from DataIds.def (GPS_MODE)")
        ->type_name("COMP:DATAID:INDEX:VALUE[@S]");
    app.add_option("--set-timeout", options.setTimeoutSeconds,
                   "how long a --set waits for its node to be typed (default 10); then it fails with -62 "
                   "ERROR_COMPONENT_NOT_SUPPORTED and the exit code is 3")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber);
    app.add_option("CONNECTION", options.device,
                   "a serial device path, serial://PATH[:BAUD], tcp://HOST:PORT, tcpin://HOST:PORT, udpin://HOST:PORT, "
                   "udpout://HOST:PORT or replay://PATH[?speed=N] (see README, Links); a replay ends the monitor with a summary")
        ->required();
    app.footer(
        "exit code: 0; 1 when the library did not start or the capture file could not be created;\n"
        "2 for a bad argument; 3 when a set failed or was not reported back");
    try {
        app.parse(argc, argv);
        for (const std::string& text : setTexts) {
            Monitor::Set set;
            const std::string error = parseSet(text, set);
            if (!error.empty()) throw CLI::ValidationError("--set", error);
            options.sets.push_back(set);
        }
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : badArgument;
    }

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    Monitor monitor(options);
    return monitor.run(stopRequested);
}
