#pragma once
// A datagram socket on 127.0.0.1 for tests that play what speaks to a UDP
// link: the device, another process on the machine, a hostile sender. Each
// instance has a port of its own, picked by the kernel.
//
// One thread may send while another receives; otherwise one thread at a time.
#include <chrono>
#include <cstdint>

#include "WireFrames.h"

namespace ORQ {
namespace test {

class LoopbackDatagrams {
public:
    // Binds; throws std::runtime_error on failure.
    LoopbackDatagrams();
    ~LoopbackDatagrams();
    LoopbackDatagrams(const LoopbackDatagrams&) = delete;
    LoopbackDatagrams& operator=(const LoopbackDatagrams&) = delete;

    uint16_t port() const;
    // One datagram (possibly empty) to 127.0.0.1:port.
    void sendTo(uint16_t port, const Bytes& bytes);
    // The next datagram, waiting at most `timeout`; false when none came.
    // senderPort (if not null): the port it came from.
    bool receive(Bytes& datagram, std::chrono::milliseconds timeout, uint16_t* senderPort = nullptr);

private:
    int fd;
    uint16_t ownPort;
};

}  // namespace test
}  // namespace ORQ
