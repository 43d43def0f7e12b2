#pragma once
// The serial-to-network bridge users put in front of a serial device: ser2net
// (the Debian package) run as a child process with a configuration of its
// own in a private temp directory, serving one device raw over TCP on
// 127.0.0.1. The destructor stops it and removes the directory.
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace ORQ {
namespace test {

class Ser2net {
public:
    // Whether the ser2net program is installed.
    static bool available();

    // Starts ser2net for `device` and waits until it accepts connections;
    // throws std::runtime_error when it does not.
    explicit Ser2net(const std::string& device);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    uint16_t port() const;

private:
    // Ends the child and removes the directory.
    void stop();

    std::string dir;
    uint16_t tcpPort;
    pid_t child;
};

}  // namespace test
}  // namespace ORQ
