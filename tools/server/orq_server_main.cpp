// orq-server: the vehicle as liborq.so mirrors it, over HTTP and WebSocket,
// with a live dashboard.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "Dll.h"
#include "Server.h"
#include "Vehicle.h"

namespace net = boost::asio;

namespace {

const char* const connectionHelp =
    "what the library connects to, as init takes it: a serial device path, serial://PATH[:BAUD], "
    "tcp://HOST:PORT, tcpin://HOST:PORT, udpin://HOST:PORT, udpout://HOST:PORT or replay://PATH[?speed=N]";

bool parseListen(const std::string& text, net::ip::tcp::endpoint& out) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    const int number = std::stoi(port);
    if (number > 65535) return false;
    boost::system::error_code ec;
    const net::ip::address address = net::ip::make_address(host, ec);
    if (ec) return false;
    out = net::ip::tcp::endpoint(address, static_cast<unsigned short>(number));
    return true;
}

bool validToken(const std::string& t) {
    if (t.size() < 16 || t.size() > 128) return false;
    for (char c : t) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '~' || c == '+' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string programFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return std::string();
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

// Where make install and the package put the dashboard, else the build
// tree's copy beside this program.
std::string defaultWebFolder() {
    const std::string folder = programFolder();
    const std::string installed = folder + "../share/orq/web";
    struct stat st;
    if (stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return installed;
    return folder + "web";
}

}  // namespace

int main(int argc, char** argv) {
    Server::Options options;
    options.listen = net::ip::tcp::endpoint(net::ip::address_v4::loopback(), 8080);
    int ownID = 1;
    double timeoutS = 10;
    std::string listen, connection, capture;

    CLI::App app("orq-server: the vehicle as liborq.so mirrors it, over HTTP and WebSocket, with a live dashboard",
                 "orq-server");
    // A later option overrides an earlier one, as callers that append to a
    // fixed command line expect (--timeout 1 ... --timeout 5).
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_version_flag("--version", std::string("orq-server ") + ORQ_VERSION);
    app.add_option("--listen", listen, "address to serve on, HOST:PORT (default 127.0.0.1:8080; port 0: any free port)")
        ->check(CLI::Validator(
            [&options](std::string& text) {
                return parseListen(text, options.listen) ? std::string() : "not an address HOST:PORT: " + text;
            },
            ""))
        ->type_name("HOST:PORT");
    app.add_option("--token", options.api.token,
                   "require \"Authorization: Bearer T\" for sets and the stream, and for reads too when not on the "
                   "loopback address; needed there. 16 to 128 characters of A-Z a-z 0-9 . _ ~ + -")
        ->check(CLI::Validator(
            [](std::string& t) { return validToken(t) ? std::string() : std::string("not a valid token"); }, ""))
        ->type_name("T");
    app.add_option("--capture", capture, "record the link's traffic into the capture file PATH")->type_name("PATH");
    app.add_option("--id", ownID, "the library's own ID on the line (default 1)")->check(CLI::Range(1, 255))->type_name("N");
    app.add_option("--web", options.webFolder,
                   "the dashboard's files (default: ../share/orq/web beside this program when it exists, else web/ "
                   "beside it)")
        ->type_name("DIR");
    app.add_option("--timeout", timeoutS, "seconds a client gets to send a whole request (default 10)")
        ->check(CLI::Range(0.001, 3600.0))
        ->type_name("S");
    app.add_option("CONNECTION", connection, connectionHelp)->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    options.requestTimeout = std::chrono::milliseconds(static_cast<long>(timeoutS * 1000));
    const bool loopback = options.listen.address().is_loopback();
    if (!loopback && options.api.token.empty()) {
        std::fprintf(stderr, "orq-server: refusing to listen on %s without --token\n",
                     options.listen.address().to_string().c_str());
        return 2;
    }
    options.api.openReads = loopback;
    options.api.connection = connection;
    if (options.webFolder.empty()) options.webFolder = defaultWebFolder();

    // Armed before init, the capture begins with the link.
    if (!capture.empty() && startCapture(capture.c_str()) != 0) {
        std::fprintf(stderr, "orq-server: cannot create the capture file %s\n", capture.c_str());
        return 1;
    }
    const int started = init(ownID, 0, connection.c_str());
    if (started != 0) {
        std::fprintf(stderr, "orq-server: cannot start on %s (init returned %d)\n", connection.c_str(), started);
        deinit();
        return 1;
    }
    int code = 0;
    try {
        Vehicle vehicle(ownID);
        Server server(vehicle, options);
        net::ip::tcp::endpoint at = server.endpoint();
        const std::string host = at.address().is_v6() ? "[" + at.address().to_string() + "]" : at.address().to_string();
        std::cout << "orq-server: listening on http://" << host << ":" << at.port() << "/ (connection " << connection
                  << ", own ID " << ownID << ", " << server.webFiles() << " dashboard files)" << std::endl;
        server.run(true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orq-server: %s\n", e.what());
        code = 1;
    }
    deinit();
    std::cout << "orq-server: stopped" << std::endl;
    return code;
}
