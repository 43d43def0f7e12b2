#include "Ser2net.h"

#include <chrono>
#include <fstream>
#include <signal.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LoopbackPort.h"
#include "ProcessProbe.h"

namespace ORQ {
namespace test {

namespace {

const char* const program = "/usr/sbin/ser2net";

}  // namespace

bool Ser2net::available() {
    return ::access(program, X_OK) == 0;
}

Ser2net::Ser2net(const std::string& device) : tcpPort(freeLoopbackPort(SOCK_STREAM)), child(-1) {
    char pattern[] = "/tmp/orq-ser2net-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot create a temp directory");
    }
    dir = pattern;
    const std::string config = dir + "/ser2net.yaml";
    std::ofstream(config) << "%YAML 1.1\n---\n"
                          << "connection: &orq\n"
                          << "  accepter: tcp,127.0.0.1," << tcpPort << "\n"
                          << "  enable: on\n"
                          << "  connector: serialdev," << device << ",57600n81,local\n"
                          << "  options:\n"
                          << "    kickolduser: true\n";
    const std::string pidFile = dir + "/ser2net.pid";
    child = ::fork();
    if (child == 0) {
        // -n: stay in the foreground; -u: no lock files outside the temp directory.
        ::execl(program, program, "-n", "-u", "-c", config.c_str(), "-P", pidFile.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (child < 0 || !eventually([&] { return acceptsTcp(tcpPort); }, std::chrono::milliseconds(10000))) {
        stop();
        throw std::runtime_error("ser2net does not accept connections");
    }
}

Ser2net::~Ser2net() {
    stop();
}

void Ser2net::stop() {
    if (child > 0) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        child = -1;
    }
    ::unlink((dir + "/ser2net.yaml").c_str());
    ::unlink((dir + "/ser2net.pid").c_str());
    ::rmdir(dir.c_str());
}

uint16_t Ser2net::port() const {
    return tcpPort;
}

}  // namespace test
}  // namespace ORQ
