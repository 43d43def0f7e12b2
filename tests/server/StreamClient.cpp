#include "StreamClient.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

namespace beast = boost::beast;
namespace net = boost::asio;
namespace websocket = beast::websocket;

namespace ORQ {
namespace test {

StreamClient::StreamClient(unsigned short port, const std::string& target, const std::string& authorization,
                           int receiveBuffer)
    : ws(io) {
    auto& socket = beast::get_lowest_layer(ws).socket();
    socket.open(net::ip::tcp::v4());
    if (receiveBuffer > 0) socket.set_option(net::socket_base::receive_buffer_size(receiveBuffer));
    beast::get_lowest_layer(ws).expires_after(std::chrono::seconds(10));
    socket.connect(net::ip::tcp::endpoint(net::ip::address_v4::loopback(), port));
    ws.set_option(websocket::stream_base::decorator([authorization](websocket::request_type& r) {
        if (!authorization.empty()) r.set(beast::http::field::authorization, authorization);
    }));
    ws.handshake("127.0.0.1:" + std::to_string(port), target);
    beast::get_lowest_layer(ws).expires_never();
}

bool StreamClient::next(std::string& message, std::chrono::milliseconds timeout) {
    beast::flat_buffer buffer;
    bool got = false;
    ws.async_read(buffer, [&](beast::error_code ec, std::size_t) {
        if (ec) return;
        message = beast::buffers_to_string(buffer.data());
        got = true;
    });
    io.restart();
    io.run_for(timeout);
    if (!got && !io.stopped()) {
        // Deadline passed: drop the pending read so the next call starts clean.
        beast::get_lowest_layer(ws).cancel();
        io.restart();
        io.run();
    }
    return got;
}

}  // namespace test
}  // namespace ORQ
