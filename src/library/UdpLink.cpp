#include "UdpLink.h"

#include <cstring>
#include <vector>

#include "LogLine.h"

namespace ORQ {

UdpLink::UdpLink(const ConnectionString& connection, MessageSystem* ms, MessageManager* mm)
    : Link(connection, ms, mm, datagramMax), heard(false) {}

UdpLink::~UdpLink() {
    stopForDestruction();
}

void UdpLink::openLink(const OpenHandler& done) {
    logLine("[UartSerial] open \"", connection().text(), "\"");
    std::vector<ConnectionString::Address> addresses;
    if (const char* problem = connection().resolve(true, true, addresses)) {
        logOpenFailure(0, problem);
        done(false);
        return;
    }
    if (addresses.empty()) {
        logOpenFailure(0, "no address");
        done(false);
        return;
    }
    boost::asio::ip::udp::endpoint local;
    std::memcpy(local.data(), &addresses[0].address, addresses[0].size);
    local.resize(addresses[0].size);
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
    done(true);
}

bool UdpLink::linkIsOpen() const {
    return socket && socket->is_open();
}

void UdpLink::readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) {
    socket->async_receive_from(boost::asio::buffer(buffer, size), sender,
                               [this, handler](const boost::system::error_code& ec, std::size_t n) {
                                   if (!ec) {
                                       peer = sender;
                                       if (!heard.exchange(true)) {
                                           peerLearned();
                                       }
                                   }
                                   handler(ec, n);
                               });
}

void UdpLink::writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) {
    socket->async_send_to(boost::asio::buffer(bytes, size), peer, handler);
}

void UdpLink::cancelLink() {
    boost::system::error_code ec;
    if (socket) socket->cancel(ec);
}

void UdpLink::closeLink() {
    boost::system::error_code ec;
    if (socket) socket->close(ec);
    heard = false;
}

void UdpLink::releaseLink() {
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
