#pragma once
// Ports on 127.0.0.1 for tests that must name a port before anything listens
// on it (a UDP host, a bridge configured by file). The kernel picks a free
// port for a socket bound to port 0; the socket is closed again and the port
// handed out, so tests running side by side never agree on a fixed number.
#include <cstdint>

namespace ORQ {
namespace test {

// A port no socket of the given kind (SOCK_STREAM, SOCK_DGRAM) uses now.
uint16_t freeLoopbackPort(int socketType);
// Whether a TCP connection to 127.0.0.1:port is accepted now.
bool acceptsTcp(uint16_t port);

}  // namespace test
}  // namespace ORQ
