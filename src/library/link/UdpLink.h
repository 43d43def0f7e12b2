#pragma once
// The UDP kinds of link. `udpin://HOST:PORT[?peer=ADDRESS:PORT]` listens on
// that address (0.0.0.0 or [::]: every interface) and sends to its peer. The
// peer is the sender of the last datagram that held a whole frame with a
// right check byte: anyone can send to the port, so empty, damaged or
// foreign datagrams never draw the commands away from the device. Every
// datagram still goes to the receive path, which counts what it cannot
// decode. With `?peer=` the peer is that address only: datagrams from any
// other are ignored (neither received nor recorded) and counted in the
// frequent line "[UartSerial] WARNING datagram ignored: not from the peer".
//
// The library speaks only when spoken to, so frames wait in the queue (for
// the hold time) until the peer is heard, fixed or not.
//
// `udpout://HOST:PORT` is for a far end that waits to be spoken to: the peer
// is that address from the open on, frames go out at once from a port of the
// link's own, and datagrams from anyone else are ignored and counted as with
// `?peer=`. Since the library's frames only answer what it hears, the link
// sends an empty datagram (no byte for the far end's receive path) at once
// and every helloPeriodMs in which the peer sent nothing: a far end that
// waits, or that restarted and forgot the link, learns where to answer.
//
// A datagram may hold several frames or part of one. A socket never
// "closes": failed sends and reads are counted and the link goes on.
//
// Threads and locks as in Link; the peer is the I/O thread's.
#include <atomic>
#include <memory>

#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "link/Link.h"

namespace ORQ {

class UdpLink : public Link {
public:
    // The largest datagram a read takes whole.
    static constexpr std::size_t datagramMax = 65536;
    // udpout://: the longest silence of the peer before the link says hello.
    static constexpr unsigned helloPeriodMs = 1000;

    explicit UdpLink(const ConnectionString& connection);
    ~UdpLink() override;

protected:
    void openLink(const OpenHandler& done) override;
    bool linkIsOpen() const override;
    void readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) override;
    void writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) override;
    void cancelLink() override;
    void closeLink() override;
    void releaseLink() override;
    void onReadFailed() override;
    bool peerKnown() const override;

private:
    // Whether the sender of the datagram just read may speak on the link.
    bool senderAllowed() const;
    // Makes the sender of the datagram just read (n bytes in buffer) the
    // peer when the rule allows it.
    void learnPeer(const uint8_t* buffer, std::size_t n);
    // udpout://: an empty datagram to the peer unless it spoke since the
    // last one; again after helloPeriodMs.
    void hello(const boost::system::error_code& ec);

    std::unique_ptr<boost::asio::ip::udp::socket> socket;
    boost::asio::ip::udp::endpoint sender;  // of the datagram being read
    boost::asio::ip::udp::endpoint peer;
    const bool outbound;                    // udpout://: the peer is the connection's address
    const bool peerFixed;                   // peer is the connection's `?peer=` or address
    std::atomic<bool> heard;                // peer is set; read by the framer
    std::unique_ptr<boost::asio::steady_timer> helloTimer;  // udpout://
    bool peerSpoke;                         // udpout://: since the last hello
};

}  // namespace ORQ
