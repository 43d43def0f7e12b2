#pragma once
// The TCP kind of link: a client connection to HOST:PORT (a serial-to-network
// bridge such as ser2net, a radio modem with an Ethernet port, a simulator).
// A refused or failed connect, a connection the far end closes, or a failed
// read starts the reconnect waits; Nagle's delay is off, so every frame goes
// out at once.
//
// Threads and locks as in Link.
#include <atomic>
#include <memory>

#include <boost/asio/ip/tcp.hpp>

#include "link/Link.h"

namespace ORQ {

class TcpLink : public Link {
public:
    explicit TcpLink(const ConnectionString& connection);
    ~TcpLink() override;

protected:
    void openLink(const OpenHandler& done) override;
    bool linkIsOpen() const override;
    void readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) override;
    void writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) override;
    std::size_t writeNow(const uint8_t* bytes, std::size_t size, boost::system::error_code& ec) override;
    void cancelLink() override;
    void closeLink() override;
    void releaseLink() override;

    // Nagle's delay off on a connected socket.
    void sendAtOnce();

    // The connection; replaced only while connected is false.
    std::unique_ptr<boost::asio::ip::tcp::socket> socket;
    // The open socket is connected: a socket that is only connecting is
    // not yet a link. Read by host threads (TcpInLink::peerKnown()).
    std::atomic<bool> connected;
};

}  // namespace ORQ
