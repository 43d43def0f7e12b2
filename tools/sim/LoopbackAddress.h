#pragma once
// The IPv4 loopback address with a port, as the socket calls take it. Shared
// by the simulator's network serving, the tests' port helpers and the
// benchmarks, which all speak on 127.0.0.1 only.
#include <cstdint>
#include <cstring>
#include <netinet/in.h>

namespace ORQSim {

inline sockaddr_in loopbackAddress(uint16_t port) {
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace ORQSim
