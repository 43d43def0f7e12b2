#include "HttpClient.h"

#include <array>
#include <cstdlib>
#include <functional>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;

namespace ORQ {
namespace test {

HttpClient::HttpClient(unsigned short p) : port(p) {}

std::string HttpClient::host() const { return "127.0.0.1:" + std::to_string(port); }

HttpClient::Reply HttpClient::raw(const std::string& bytes, std::chrono::milliseconds timeout) const {
    net::io_context io;
    beast::tcp_stream stream(io);
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(16 * 1024 * 1024);
    Reply reply;
    stream.expires_after(timeout);
    stream.async_connect(net::ip::tcp::endpoint(net::ip::address_v4::loopback(), port), [&](beast::error_code ec) {
        if (ec) return;
        net::async_write(stream, net::buffer(bytes), [&](beast::error_code e, std::size_t) {
            // A server that answers early may close before all was written.
            (void)e;
            http::async_read(stream, buffer, parser, [&](beast::error_code r, std::size_t) {
                if (r) return;
                const auto& res = parser.get();
                reply.status = static_cast<int>(res.result_int());
                reply.body = res.body();
                for (const auto& field : res) reply.headers[std::string(field.name_string())] = std::string(field.value());
            });
        });
    });
    io.run();
    return reply;
}

HttpClient::Transcript HttpClient::converse(const std::string& bytes, std::chrono::milliseconds timeout) const {
    net::io_context io;
    beast::tcp_stream stream(io);
    Transcript t;
    std::array<char, 4096> chunk;
    std::function<void()> readMore = [&] {
        stream.async_read_some(net::buffer(chunk), [&](beast::error_code ec, std::size_t n) {
            t.received.append(chunk.data(), n);
            if (!ec) return readMore();
            t.closed = ec == net::error::eof || ec == net::error::connection_reset;
        });
    };
    stream.expires_after(timeout);
    stream.async_connect(net::ip::tcp::endpoint(net::ip::address_v4::loopback(), port), [&](beast::error_code ec) {
        if (ec) return;
        net::async_write(stream, net::buffer(bytes), [](beast::error_code, std::size_t) {});
        readMore();
    });
    io.run();
    return t;
}

std::vector<int> HttpClient::Transcript::statuses() const {
    std::vector<int> out;
    net::const_buffer rest(received.data(), received.size());
    while (rest.size() > 0) {
        http::response_parser<http::string_body> parser;
        parser.eager(true);
        beast::error_code ec;
        const size_t used = parser.put(rest, ec);
        if (ec || !parser.is_done()) break;
        out.push_back(static_cast<int>(parser.get().result_int()));
        rest += used;
    }
    return out;
}

HttpClient::Reply HttpClient::request(const std::string& method, const std::string& target, const std::string& body,
                                      const std::map<std::string, std::string>& headers) const {
    std::string text = method + " " + target + " HTTP/1.1\r\nHost: " + host() + "\r\nConnection: close\r\n";
    for (const auto& h : headers) text += h.first + ": " + h.second + "\r\n";
    if (method != "GET") text += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    return raw(text + "\r\n" + body);
}

HttpClient::Reply HttpClient::get(const std::string& target, const std::map<std::string, std::string>& headers) const {
    return request("GET", target, "", headers);
}

HttpClient::Reply HttpClient::put(const std::string& target, const std::string& body,
                                  const std::map<std::string, std::string>& headers) const {
    return request("PUT", target, body, headers);
}

std::string HttpClient::upgradeRequest(const std::string& target, const std::string& extraHeaders) const {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host() +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
           "Sec-WebSocket-Version: 13\r\n" +
           extraHeaders + "\r\n";
}

}  // namespace test
}  // namespace ORQ
