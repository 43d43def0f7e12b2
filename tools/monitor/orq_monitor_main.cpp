// orq-monitor: watches the nodes on a link through liborq.so.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Monitor.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

void usage() {
    std::fprintf(stderr,
                 "usage: orq-monitor [--id N] [--duration S] [--capture PATH] [--set COMP:DATAID:INDEX:VALUE[@SECONDS]]...\n"
                 "                   CONNECTION\n"
                 "  CONNECTION    a serial device path, serial://PATH[:BAUD], tcp://HOST:PORT,\n"
                 "                udpin://HOST:PORT or replay://PATH[?speed=N] (see README, Links)\n"
                 "  --id N        the library's own ID on the line (default 1)\n"
                 "  --duration S  stop after S seconds (default: run until Ctrl-C)\n"
                 "  --capture P   record the link's traffic into the capture file P (see orq-dump, orq-plot)\n"
                 "  --set ...     set a value on a node, optionally S seconds after the start,\n"
                 "                and watch the node report it back\n");
}

bool parseInt(const std::string& s, int& v) {
    char* end = nullptr;
    const long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0') return false;
    v = static_cast<int>(n);
    return true;
}

bool parseSet(const std::string& text, Monitor::Set& set) {
    std::string body = text;
    const size_t at = body.find('@');
    if (at != std::string::npos) {
        char* end = nullptr;
        set.atSeconds = std::strtod(body.c_str() + at + 1, &end);
        if (at + 1 == body.size() || *end != '\0' || set.atSeconds < 0) return false;
        body.resize(at);
    }
    int* fields[4] = {&set.component, &set.dataID, &set.index, &set.value};
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t colon = i < 3 ? body.find(':', start) : body.size();
        if (colon == std::string::npos || !parseInt(body.substr(start, colon - start), *fields[i])) return false;
        start = colon + 1;
    }
    return start == body.size() + 1;
}

}  // namespace

int main(int argc, char** argv) {
    Monitor::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--id") {
            ok = hasValue && parseInt(argv[++i], options.ownID) && options.ownID >= 1 && options.ownID <= 255;
        } else if (arg == "--duration") {
            char* end = nullptr;
            ok = hasValue;
            if (ok) {
                options.durationSeconds = std::strtod(argv[++i], &end);
                ok = *end == '\0' && options.durationSeconds >= 0;
            }
        } else if (arg == "--capture") {
            ok = hasValue;
            if (ok) options.capturePath = argv[++i];
        } else if (arg == "--set") {
            Monitor::Set set;
            ok = hasValue && parseSet(argv[++i], set);
            options.sets.push_back(set);
        } else if (arg.size() > 1 && arg[0] == '-') {
            ok = false;
        } else if (options.device.empty()) {
            options.device = arg;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "orq-monitor: bad argument %s\n", arg.c_str());
            usage();
            return 2;
        }
    }
    if (options.device.empty()) {
        usage();
        return 2;
    }

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    Monitor monitor(options);
    return monitor.run(stopRequested);
}
