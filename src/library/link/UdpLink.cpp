#include "link/UdpLink.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "log/LogLine.h"
#include "wire/MessageSystem.h"

namespace ORQ {

namespace {

using Endpoint = boost::asio::ip::udp::endpoint;

Endpoint endpointOf(const ConnectionString::Address& a) {
    Endpoint e;
    std::memcpy(e.data(), &a.address, a.size);
    e.resize(a.size);
    return e;
}

// A socket bound to [::] hears IPv4 senders at mapped IPv6 addresses; they
// are compared as the IPv4 addresses they are.
Endpoint unmapped(const Endpoint& e) {
    const boost::asio::ip::address a = e.address();
    if (a.is_v6() && a.to_v6().is_v4_mapped()) {
        return Endpoint(boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, a.to_v6()), e.port());
    }
    return e;
}

}  // namespace

UdpLink::UdpLink(const ConnectionString& connection)
    : Link(connection, datagramMax),
      outbound(connection.kind() == ConnectionString::UdpOut),
      peerFixed(outbound || connection.hasPeer()),
      heard(false),
      peerSpoke(false) {
    if (peerFixed) {
        peer = endpointOf(connection.peer());
    }
}

UdpLink::~UdpLink() {
    stopForDestruction();
}

void UdpLink::openLink(const OpenHandler& done) {
    std::vector<ConnectionString::Address> addresses;
    // Listening: the address to bind. Sending: the peer's, and a port of
    // our own on any interface.
    if (!openAddresses(true, !outbound, addresses)) {
        done(false);
        return;
    }
    Endpoint local = endpointOf(addresses[0]);
    if (outbound) {
        peer = local;
        local = Endpoint(peer.protocol(), 0);
    }
    if (!socket) {
        socket.reset(new boost::asio::ip::udp::socket(ioContext()));
    }
    boost::system::error_code ec;
    socket->open(local.protocol(), ec);
    if (!ec) socket->bind(local, ec);
    if (ec) {
        logOpenFailure(ec.value());
        boost::system::error_code ignored;
        socket->close(ignored);
        done(false);
        return;
    }
    heard = outbound;
    if (outbound) {
        if (!helloTimer) helloTimer.reset(new boost::asio::steady_timer(ioContext()));
        peerSpoke = false;
        helloTimer->expires_after(std::chrono::milliseconds(0));
        helloTimer->async_wait([this](const boost::system::error_code& e) { hello(e); });
    }
    done(true);
}

void UdpLink::hello(const boost::system::error_code& ec) {
    if (ec || run != 1 || !linkIsOpen()) {
        return;
    }
    if (!peerSpoke) {
        socket->async_send_to(boost::asio::const_buffer(), peer,
                              [this](const boost::system::error_code& e, std::size_t) {
                                  if (e) countError();
                              });
    }
    peerSpoke = false;
    helloTimer->expires_after(std::chrono::milliseconds(helloPeriodMs));
    helloTimer->async_wait([this](const boost::system::error_code& e) { hello(e); });
}

bool UdpLink::linkIsOpen() const {
    return socket && socket->is_open();
}

void UdpLink::readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) {
    socket->async_receive_from(boost::asio::buffer(buffer, size), sender,
                               [this, buffer, size, handler](const boost::system::error_code& ec, std::size_t n) {
                                   if (!ec && !senderAllowed()) {
                                       logFrequentLine("[UartSerial] WARNING datagram ignored: not from the peer");
                                       // Unless deinit() stops the link: it cancelled the read this one would replace.
                                       if (run == 1) {
                                           readSome(buffer, size, handler);
                                       }
                                       return;
                                   }
                                   peerSpoke = peerSpoke || (!ec && outbound);
                                   if (!ec && !outbound) {
                                       learnPeer(buffer, n);
                                   }
                                   handler(ec, n);
                               });
}

bool UdpLink::senderAllowed() const {
    return !peerFixed || unmapped(sender) == unmapped(peer);
}

void UdpLink::learnPeer(const uint8_t* buffer, std::size_t n) {
    if ((heard && sender == peer) || !MessageSystem::holdsFrame(buffer, n)) {
        return;
    }
    peer = sender;
    if (!heard.exchange(true)) {
        peerLearned();
    }
}

void UdpLink::writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) {
    socket->async_send_to(boost::asio::buffer(bytes, size), peer, handler);
}

void UdpLink::cancelLink() {
    boost::system::error_code ec;
    if (socket) socket->cancel(ec);
    if (helloTimer) helloTimer->cancel();
}

void UdpLink::closeLink() {
    boost::system::error_code ec;
    if (socket) socket->close(ec);
    heard = false;
}

void UdpLink::releaseLink() {
    helloTimer.reset();
    socket.reset();
}

void UdpLink::onReadFailed() {
    // Already counted; the socket stays bound and keeps listening.
    if (linkIsOpen()) {
        startRead();
    } else {
        reopen();
    }
}

bool UdpLink::peerKnown() const {
    return heard;
}

}  // namespace ORQ
