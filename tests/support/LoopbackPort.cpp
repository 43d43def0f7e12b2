#include "LoopbackPort.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "LoopbackAddress.h"

namespace ORQ {
namespace test {

uint16_t freeLoopbackPort(int socketType) {
    const int s = ::socket(AF_INET, socketType | SOCK_CLOEXEC, 0);
    sockaddr_in a = ORQSim::loopbackAddress(0);
    socklen_t size = sizeof a;
    const bool bound = s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    if (s >= 0) ::close(s);
    if (!bound) throw std::runtime_error("no free loopback port");
    return ntohs(a.sin_port);
}

bool acceptsTcp(uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = ORQSim::loopbackAddress(port);
    const bool accepted = s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    if (s >= 0) ::close(s);
    return accepted;
}

}  // namespace test
}  // namespace ORQ
