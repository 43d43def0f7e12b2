#include "LoopbackDatagrams.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "LoopbackAddress.h"

namespace ORQ {
namespace test {

LoopbackDatagrams::LoopbackDatagrams() : fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), ownPort(0) {
    sockaddr_in a = ORQSim::loopbackAddress(0);
    socklen_t size = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("no loopback datagram socket");
    }
    ownPort = ntohs(a.sin_port);
}

LoopbackDatagrams::~LoopbackDatagrams() {
    ::close(fd);
}

uint16_t LoopbackDatagrams::port() const {
    return ownPort;
}

void LoopbackDatagrams::sendTo(uint16_t port, const Bytes& bytes) {
    const sockaddr_in to = ORQSim::loopbackAddress(port);
    if (::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) !=
        static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("datagram not sent");
    }
}

bool LoopbackDatagrams::receive(Bytes& datagram, std::chrono::milliseconds timeout, uint16_t* senderPort) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
    uint8_t buffer[65536];
    sockaddr_in from;
    socklen_t size = sizeof from;
    const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0) return false;
    datagram.assign(buffer, buffer + n);
    if (senderPort) *senderPort = ntohs(from.sin_port);
    return true;
}

}  // namespace test
}  // namespace ORQ
