#include "link/TcpLink.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/write.hpp>


namespace ORQ {

TcpLink::TcpLink(const ConnectionString& connection)
    : Link(connection), connected(false) {}

TcpLink::~TcpLink() {
    stopForDestruction();
}

void TcpLink::openLink(const OpenHandler& done) {
    std::vector<ConnectionString::Address> addresses;
    if (!openAddresses(false, false, addresses)) {
        done(false);
        return;
    }
    std::vector<boost::asio::ip::tcp::endpoint> endpoints;
    for (const ConnectionString::Address& a : addresses) {
        boost::asio::ip::tcp::endpoint endpoint;
        std::memcpy(endpoint.data(), &a.address, a.size);
        endpoint.resize(a.size);
        endpoints.push_back(endpoint);
    }
    if (!socket) {
        socket.reset(new boost::asio::ip::tcp::socket(ioContext()));
    }
    // Every address in turn, until one accepts.
    boost::asio::async_connect(
        *socket, endpoints,
        [this, done](const boost::system::error_code& ec, const boost::asio::ip::tcp::endpoint&) {
            if (ec) {
                // A connect is cancelled when a start waited long enough for
                // it, or by deinit(), which needs no line.
                const char* text = ec == boost::asio::error::operation_aborted ? "no answer in time"
                                   : ec.category() == boost::system::system_category() ? nullptr
                                                                                       : "no address";
                if (run == 1) logOpenFailure(ec.value(), text);
                done(false);
                return;
            }
            sendAtOnce();
            connected = true;
            done(true);
        });
}

void TcpLink::sendAtOnce() {
    boost::system::error_code ignored;
    socket->set_option(boost::asio::ip::tcp::no_delay(true), ignored);
}

bool TcpLink::linkIsOpen() const {
    return socket && socket->is_open() && connected;
}

void TcpLink::readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) {
    socket->async_read_some(boost::asio::buffer(buffer, size), handler);
}

void TcpLink::writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) {
    boost::asio::async_write(*socket, boost::asio::buffer(bytes, size), handler);
}

std::size_t TcpLink::writeNow(const uint8_t* bytes, std::size_t size, boost::system::error_code& ec) {
    // Non-blocking whatever the socket's mode; a closed connection is an
    // error, not a signal.
    for (;;) {
        const ssize_t n = ::send(socket->native_handle(), bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        if (errno != EINTR) {
            ec.assign(errno, boost::system::system_category());
            return 0;
        }
    }
}

void TcpLink::cancelLink() {
    boost::system::error_code ec;
    if (socket) socket->cancel(ec);
}

void TcpLink::closeLink() {
    boost::system::error_code ec;
    connected = false;
    if (socket) socket->close(ec);
}

void TcpLink::releaseLink() {
    socket.reset();
}

}  // namespace ORQ
