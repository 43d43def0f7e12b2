#pragma once
// The test's side of orq-server's stream: a WebSocket client on the loopback
// address whose reads wait at most a given time. A small receive buffer
// makes it a slow client whose server-side writes back up while it does not
// read. Used from one thread at a time.
#include <chrono>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>

namespace ORQ {
namespace test {

class StreamClient {
public:
    // Connects and completes the handshake; throws boost::system::system_error
    // when the server refuses. receiveBuffer 0 keeps the system's default.
    StreamClient(unsigned short port, const std::string& target, const std::string& authorization = "",
                 int receiveBuffer = 0);
    // The next message, or false when none came within timeout or the stream closed.
    bool next(std::string& message, std::chrono::milliseconds timeout);

private:
    boost::asio::io_context io;
    boost::beast::websocket::stream<boost::beast::tcp_stream> ws;
};

}  // namespace test
}  // namespace ORQ
