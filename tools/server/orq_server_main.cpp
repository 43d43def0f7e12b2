// orq-server: the vehicle as liborq.so mirrors it, over HTTP and WebSocket,
// with a live dashboard.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>


#include "Dll.h"
#include "Server.h"
#include "Vehicle.h"

namespace net = boost::asio;

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: orq-server [--listen HOST:PORT] [--token T] [--capture PATH] [--id N] [--web DIR] [--timeout S]\n"
                 "                  CONNECTION\n"
                 "  --listen HOST:PORT  address to serve on (default 127.0.0.1:8080; port 0: any free port)\n"
                 "  --token T           require \"Authorization: Bearer T\" for sets and the stream, and for\n"
                 "                      reads too when not on the loopback address; needed there.\n"
                 "                      16 to 128 characters of A-Z a-z 0-9 . _ ~ + -\n"
                 "  --capture PATH      record the link's traffic into the capture file PATH\n"
                 "  --id N              the library's own ID on the line (default 1)\n"
                 "  --web DIR           the dashboard's files (default: web/ beside this program)\n"
                 "  --timeout S         seconds a client gets to send a whole request (default 10)\n"
                 "  CONNECTION          what the library connects to, as init takes it: a serial device path,\n"
                 "                      serial://PATH[:BAUD], tcp://HOST:PORT, udpin://HOST:PORT or\n"
                 "                      replay://PATH[?speed=N]\n");
}

bool parseInt(const std::string& s, int& v) {
    char* end = nullptr;
    const long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || n < -1000000 || n > 1000000) return false;
    v = static_cast<int>(n);
    return true;
}

bool parseListen(const std::string& text, net::ip::tcp::endpoint& out) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    int port = -1;
    if (!parseInt(text.substr(colon + 1), port) || port < 0 || port > 65535) return false;
    boost::system::error_code ec;
    const net::ip::address address = net::ip::make_address(host, ec);
    if (ec) return false;
    out = net::ip::tcp::endpoint(address, static_cast<unsigned short>(port));
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

std::string besideProgram(const std::string& name) {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return name;
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
    Server::Options options;
    options.listen = net::ip::tcp::endpoint(net::ip::address_v4::loopback(), 8080);
    int ownID = 1;
    std::string connection;
    std::string capture;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--listen") {
            ok = hasValue && parseListen(argv[++i], options.listen);
        } else if (arg == "--token") {
            ok = hasValue && validToken(argv[++i]);
            if (ok) options.api.token = argv[i];
        } else if (arg == "--capture") {
            ok = hasValue;
            if (ok) capture = argv[++i];
        } else if (arg == "--id") {
            ok = hasValue && parseInt(argv[++i], ownID) && ownID >= 1 && ownID <= 255;
        } else if (arg == "--web") {
            ok = hasValue;
            if (ok) options.webFolder = argv[++i];
        } else if (arg == "--timeout") {
            char* end = nullptr;
            ok = hasValue;
            if (ok) {
                const double s = std::strtod(argv[++i], &end);
                ok = *end == '\0' && s > 0 && s <= 3600;
                options.requestTimeout = std::chrono::milliseconds(static_cast<long>(s * 1000));
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            ok = false;
        } else if (connection.empty()) {
            connection = arg;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "orq-server: bad argument %s\n", arg.c_str());
            usage();
            return 2;
        }
    }
    if (connection.empty()) {
        usage();
        return 2;
    }
    const bool loopback = options.listen.address().is_loopback();
    if (!loopback && options.api.token.empty()) {
        std::fprintf(stderr, "orq-server: refusing to listen on %s without --token\n",
                     options.listen.address().to_string().c_str());
        return 2;
    }
    options.api.openReads = loopback;
    options.api.connection = connection;
    if (options.webFolder.empty()) options.webFolder = besideProgram("web");

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
