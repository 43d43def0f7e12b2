#include "link/TcpInLink.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "log/LogLine.h"

namespace ORQ {

TcpInLink::TcpInLink(const ConnectionString& connection)
    : TcpLink(connection), waitingBuffer(nullptr), waitingSize(0) {}

TcpInLink::~TcpInLink() {
    stopForDestruction();
}

void TcpInLink::openLink(const OpenHandler& done) {
    std::vector<ConnectionString::Address> addresses;
    if (!openAddresses(false, true, addresses)) {
        done(false);
        return;
    }
    boost::asio::ip::tcp::endpoint local;
    std::memcpy(local.data(), &addresses[0].address, addresses[0].size);
    local.resize(addresses[0].size);
    if (!listener) {
        listener.reset(new boost::asio::ip::tcp::acceptor(ioContext()));
        retryTimer.reset(new boost::asio::steady_timer(ioContext()));
    }
    boost::system::error_code ec;
    listener->open(local.protocol(), ec);
    // A restarted host takes its port back at once.
    if (!ec) listener->set_option(boost::asio::socket_base::reuse_address(true), ec);
    if (!ec) listener->bind(local, ec);
    if (!ec) listener->listen(boost::asio::socket_base::max_listen_connections, ec);
    if (ec) {
        logOpenFailure(ec.value());
        boost::system::error_code ignored;
        listener->close(ignored);
        done(false);
        return;
    }
    accept();
    done(true);
}

bool TcpInLink::linkIsOpen() const {
    return listener && listener->is_open();
}

void TcpInLink::accept() {
    incoming.reset(new boost::asio::ip::tcp::socket(ioContext()));
    listener->async_accept(*incoming, [this](const boost::system::error_code& ec) { onAccepted(ec); });
}

void TcpInLink::onAccepted(const boost::system::error_code& ec) {
    if (ec) {
        if (run != 1 || ec == boost::asio::error::operation_aborted) {
            // Stopping: the read waiting for a client ends with the accept.
            if (waitingRead) {
                ReadHandler read;
                read.swap(waitingRead);
                read(ec, 0);
            }
            return;
        }
        // Out of descriptors, a connection reset before it was taken: the
        // listener stays, and tries again a little later.
        countError();
        logFrequentLine("[UartSerial] WARNING accept failed: ", ec.message());
        retryTimer->expires_after(std::chrono::milliseconds(acceptRetryMs));
        retryTimer->async_wait([this](const boost::system::error_code& e) {
            if (!e && run == 1) accept();
        });
        return;
    }
    if (connected) {
        countError();
        logFrequentLine("[UartSerial] WARNING client refused: another one is served");
        boost::system::error_code ignored;
        incoming->close(ignored);
        accept();
        return;
    }
    // Host threads write to socket only while connected is true.
    socket = std::move(incoming);
    sendAtOnce();
    connected = true;
    logLine("[UartSerial] client connected");
    accept();
    if (waitingRead) {
        ReadHandler read;
        read.swap(waitingRead);
        TcpLink::readSome(waitingBuffer, waitingSize, read);
    }
    // What the last client left unread is no part of this one's frames.
    client().linkReopened();
}

void TcpInLink::readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) {
    if (connected) {
        TcpLink::readSome(buffer, size, handler);
        return;
    }
    waitingBuffer = buffer;
    waitingSize = size;
    waitingRead = handler;
}

void TcpInLink::onReadFailed() {
    // The client went (or its connection failed): no frame goes to it any
    // more, and the listener waits for the next.
    logLine("[UartSerial] WARNING client gone");
    connected = false;
    waitForHostWrite();
    boost::system::error_code ignored;
    if (socket) socket->close(ignored);
    client().linkChanged();
    startRead();
}

bool TcpInLink::peerKnown() const {
    return connected;
}

void TcpInLink::cancelLink() {
    boost::system::error_code ec;
    if (listener) listener->cancel(ec);
    if (retryTimer) retryTimer->cancel();
    TcpLink::cancelLink();
}

void TcpInLink::closeLink() {
    boost::system::error_code ec;
    if (listener) listener->close(ec);
    if (incoming) incoming->close(ec);
    waitingRead = nullptr;
    TcpLink::closeLink();
}

void TcpInLink::releaseLink() {
    incoming.reset();
    retryTimer.reset();
    listener.reset();
    TcpLink::releaseLink();
}

}  // namespace ORQ
