// orq-sim: simulated flight boards and ground stations on a pseudo-terminal
// (or on a given serial device, or over loopback TCP or UDP), for trying the
// library without hardware.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "Simulator.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
    ORQSim::Simulator::Options options;
    std::vector<int> boards, stations;
    std::string device, link;
    double duration = 0;
    int tcpPort = -1, udpPort = -1, tcpConnectPort = -1, udpListenPort = -1;

    CLI::App app("orq-sim: simulated flight boards and ground stations on a pseudo-terminal (or on a given serial\n"
                 "device, or over loopback TCP or UDP), for trying the library without hardware",
                 "orq-sim");
    app.set_version_flag("--version", std::string("orq-sim ") + ORQ_VERSION);
    app.add_option("--fb", boards, "simulate a flight board with this ID (type 1); default: --fb 5 --gs 6")
        ->type_name("ID")
        ->check(CLI::Range(1, 255));
    app.add_option("--gs", stations, "simulate a ground station with this ID (type 0)")
        ->type_name("ID")
        ->check(CLI::Range(1, 255));
    CLI::Option* deviceOption =
        app.add_option("--device", device, "use this serial device instead of a new pseudo-terminal")->type_name("PATH");
    // A port of the line; lowest is 0 where 0 picks a free one.
    auto portOption = [&app](const char* name, int& port, int lowest, const char* help) {
        return app.add_option(name, port, help)->type_name("PORT")->check(CLI::Range(lowest, 65535));
    };
    CLI::Option* tcpOption = portOption("--tcp", tcpPort, 0,
                                        "serve TCP on 127.0.0.1:PORT instead (0: a free port); the library connects "
                                        "with tcp://127.0.0.1:PORT");
    CLI::Option* udpOption = portOption("--udp", udpPort, 1,
                                        "send UDP to 127.0.0.1:PORT instead, where the library listens with "
                                        "udpin://127.0.0.1:PORT");
    CLI::Option* tcpConnectOption =
        portOption("--tcp-connect", tcpConnectPort, 1,
                   "connect to 127.0.0.1:PORT as a TCP client instead, again whenever refused or dropped; the "
                   "library listens with tcpin://127.0.0.1:PORT");
    CLI::Option* udpListenOption =
        portOption("--udp-listen", udpListenPort, 0,
                   "listen for UDP on 127.0.0.1:PORT instead (0: a free port) and answer whoever spoke last; the "
                   "library sends with udpout://127.0.0.1:PORT");
    app.add_option("--drop-every", options.dropEvery,
                   "drop the TCP connection (or change the UDP port sent from, or restart the UDP port listened "
                   "on) every S seconds")
        ->type_name("S")
        ->check(CLI::PositiveNumber);
    CLI::Option* linkOption =
        app.add_option("--link", link, "also make PATH a symbolic link to the pseudo-terminal")->type_name("PATH");
    app.add_option("--rate", options.rate, "multiply every report rate by X (default 1)")
        ->type_name("X")
        ->check(CLI::PositiveNumber);
    app.add_option("--noise", options.noise, "damage this fraction of the frames sent (default 0)")
        ->type_name("F")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--seed", options.seed, "seed of every random choice (default 1)")->type_name("N");
    app.add_option("--duration", duration, "stop after S seconds (default: run until Ctrl-C)")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber);
    // One line at a time; a pseudo-terminal is the only line with a link.
    const std::vector<CLI::Option*> lines = {deviceOption, tcpOption, udpOption, tcpConnectOption, udpListenOption};
    for (CLI::Option* a : lines) {
        for (CLI::Option* b : lines) {
            if (a != b) a->excludes(b);
        }
        if (a != deviceOption) linkOption->excludes(a);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    std::vector<std::pair<uint8_t, ORQSim::SimDevice::Type>> devices;
    for (int id : boards) devices.emplace_back(static_cast<uint8_t>(id), ORQSim::SimDevice::FlightBoard);
    for (int id : stations) devices.emplace_back(static_cast<uint8_t>(id), ORQSim::SimDevice::GroundStation);
    if (devices.empty()) {
        devices.emplace_back(5, ORQSim::SimDevice::FlightBoard);
        devices.emplace_back(6, ORQSim::SimDevice::GroundStation);
    }

    ORQSim::Simulator sim(options);
    const bool opened = tcpPort >= 0          ? sim.listenTcp(static_cast<uint16_t>(tcpPort))
                        : udpPort >= 0        ? sim.sendUdp(static_cast<uint16_t>(udpPort))
                        : tcpConnectPort >= 0 ? sim.connectTcp(static_cast<uint16_t>(tcpConnectPort))
                        : udpListenPort >= 0  ? sim.listenUdp(static_cast<uint16_t>(udpListenPort))
                        : device.empty()      ? sim.openPty()
                                              : sim.attach(device);
    if (!opened) {
        const std::string what = tcpPort >= 0          ? "TCP port " + std::to_string(tcpPort)
                                 : tcpConnectPort >= 0 ? "TCP port " + std::to_string(tcpConnectPort)
                                 : udpPort >= 0        ? "a UDP socket"
                                 : udpListenPort >= 0  ? "UDP port " + std::to_string(udpListenPort)
                                 : device.empty()      ? std::string("a pseudo-terminal")
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
