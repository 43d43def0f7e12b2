// orq-sim: simulated flight boards and ground stations on a pseudo-terminal
// (or on a given serial device, or over loopback TCP or UDP), for trying the
// library without hardware.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Simulator.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

void usage() {
    std::fprintf(stderr,
                 "usage: orq-sim [--fb ID]... [--gs ID]... [--device PATH | --tcp PORT | --udp PORT]\n"
                 "               [--link PATH] [--rate X] [--noise F] [--seed N] [--drop-every S]\n"
                 "               [--duration S]\n"
                 "  --fb ID        simulate a flight board with this ID (type 1)\n"
                 "  --gs ID        simulate a ground station with this ID (type 0)\n"
                 "                 (default: --fb 5 --gs 6)\n"
                 "  --device PATH  use this serial device instead of a new pseudo-terminal\n"
                 "  --tcp PORT     serve TCP on 127.0.0.1:PORT instead (0: a free port);\n"
                 "                 the library connects with tcp://127.0.0.1:PORT\n"
                 "  --udp PORT     send UDP to 127.0.0.1:PORT instead, where the library\n"
                 "                 listens with udpin://127.0.0.1:PORT\n"
                 "  --drop-every S drop the TCP connection (or change the UDP port) every S seconds\n"
                 "  --link PATH    also make PATH a symbolic link to the pseudo-terminal\n"
                 "  --rate X       multiply every report rate by X (default 1)\n"
                 "  --noise F      damage this fraction of the frames sent (default 0)\n"
                 "  --seed N       seed of every random choice (default 1)\n"
                 "  --duration S   stop after S seconds (default: run until Ctrl-C)\n");
}

bool parseID(const char* s, uint8_t& id) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (*s == '\0' || *end != '\0' || v < 1 || v > 255) return false;
    id = static_cast<uint8_t>(v);
    return true;
}

bool parseNumber(const char* s, double& v) {
    char* end = nullptr;
    v = std::strtod(s, &end);
    return *s != '\0' && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    ORQSim::Simulator::Options options;
    std::vector<std::pair<uint8_t, ORQSim::SimDevice::Type>> devices;
    std::string device, link;
    double duration = 0;
    long tcpPort = -1, udpPort = -1;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        uint8_t id = 0;
        double number = 0;
        bool ok = value != nullptr;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--fb" || arg == "--gs") {
            ok = ok && parseID(value, id);
            if (ok) devices.emplace_back(id, arg == "--fb" ? ORQSim::SimDevice::FlightBoard : ORQSim::SimDevice::GroundStation);
        } else if (arg == "--device") {
            if (ok) device = value;
        } else if (arg == "--tcp" || arg == "--udp") {
            ok = ok && parseNumber(value, number) && number >= (arg == "--tcp" ? 0 : 1) && number <= 65535 &&
                 number == static_cast<long>(number);
            (arg == "--tcp" ? tcpPort : udpPort) = static_cast<long>(number);
        } else if (arg == "--drop-every") {
            ok = ok && parseNumber(value, number) && number > 0;
            options.dropEvery = number;
        } else if (arg == "--link") {
            if (ok) link = value;
        } else if (arg == "--rate") {
            ok = ok && parseNumber(value, number) && number > 0;
            options.rate = number;
        } else if (arg == "--noise") {
            ok = ok && parseNumber(value, number) && number >= 0 && number <= 1;
            options.noise = number;
        } else if (arg == "--seed") {
            ok = ok && parseNumber(value, number) && number >= 0;
            options.seed = static_cast<uint32_t>(number);
        } else if (arg == "--duration") {
            ok = ok && parseNumber(value, number) && number >= 0;
            duration = number;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "orq-sim: bad argument %s\n", arg.c_str());
            usage();
            return 2;
        }
        ++i;
    }
    if (devices.empty()) {
        devices.emplace_back(5, ORQSim::SimDevice::FlightBoard);
        devices.emplace_back(6, ORQSim::SimDevice::GroundStation);
    }

    if ((tcpPort >= 0) + (udpPort >= 0) + !device.empty() > 1 || (!link.empty() && (tcpPort >= 0 || udpPort >= 0))) {
        std::fprintf(stderr, "orq-sim: choose one of --device, --tcp and --udp (--link goes with a pseudo-terminal)\n");
        usage();
        return 2;
    }

    ORQSim::Simulator sim(options);
    const bool opened = tcpPort >= 0   ? sim.listenTcp(static_cast<uint16_t>(tcpPort))
                        : udpPort >= 0 ? sim.sendUdp(static_cast<uint16_t>(udpPort))
                        : device.empty() ? sim.openPty()
                                         : sim.attach(device);
    if (!opened) {
        const std::string what = tcpPort >= 0   ? "TCP port " + std::to_string(tcpPort)
                                 : udpPort >= 0 ? "a UDP socket"
                                 : device.empty() ? std::string("a pseudo-terminal")
                                                  : device;
        std::fprintf(stderr, "orq-sim: cannot open %s: %s\n", what.c_str(), std::strerror(errno));
        return 1;
    }
    for (const auto& d : devices) {
        if (!sim.addDevice(d.first, d.second)) {
            std::fprintf(stderr, "orq-sim: device ID %u given twice\n", static_cast<unsigned>(d.first));
            return 2;
        }
    }
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(sim.path().c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "orq-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
            return 1;
        }
    }

    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    sim.start();
    std::printf("orq-sim: serving on %s", sim.path().c_str());
    for (const auto& d : devices) {
        std::printf(" %s %u", d.second == ORQSim::SimDevice::FlightBoard ? "flight-board" : "ground-station",
                    static_cast<unsigned>(d.first));
    }
    std::printf("\n");
    std::fflush(stdout);

    const auto begin = std::chrono::steady_clock::now();
    while (!stopRequested) {
        if (duration > 0 && std::chrono::steady_clock::now() - begin >= std::chrono::duration<double>(duration)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    sim.stop();
    if (!link.empty()) unlink(link.c_str());

    const ORQSim::Simulator::Counters c = sim.counters();
    std::printf("orq-sim: sent %llu frames (%llu damaged, %llu dropped), received %llu frames (%llu bad, %llu bytes), "
                "%llu type requests;",
                static_cast<unsigned long long>(c.framesSent), static_cast<unsigned long long>(c.noiseInjected),
                static_cast<unsigned long long>(c.framesDropped), static_cast<unsigned long long>(c.framesReceived),
                static_cast<unsigned long long>(c.badFrames), static_cast<unsigned long long>(c.bytesReceived),
                static_cast<unsigned long long>(c.typeRequests));
    for (int t = 0; t < 256; ++t) {
        const uint32_t n = sim.setsReceived(static_cast<uint8_t>(t));
        if (n != 0) std::printf(" sets of type %d: %u;", t, n);
    }
    std::printf("\n");
    return 0;
}
