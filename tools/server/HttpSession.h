#pragma once
// One HTTP connection: reads requests one after the other (each within the
// request timeout, its body within Api::maxBody), answers them through the
// Api, and hands a WebSocket upgrade of the stream over to a StreamSession.
// A request that cannot be parsed, is too large, or whose body length is not
// stated one plain way (Api::plainFraming) is answered with a 4xx and the
// connection closed; one that does not arrive in time is closed. It keeps the
// time the client last sent a byte or was last answered, so that the server
// can close the connection silent the longest when it needs room.
//
// Lives on the server's I/O thread, owned by its own pending operations
// (shared_from_this); the server holds it by weak pointer to count it.
#include <chrono>
#include <memory>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/optional.hpp>

#include "Api.h"

class Hub;

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    struct Limits {
        std::chrono::milliseconds requestTimeout;
        int maxStreamClients;
    };

    using Clock = std::chrono::steady_clock;

    HttpSession(boost::asio::ip::tcp::socket&& socket, const Api& api, std::shared_ptr<Hub> hub, const Limits& limits);
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    void start();
    // Answers 503 and closes: the server has too many connections.
    void refuse();
    // Since when the client has neither sent a byte nor been answered.
    Clock::time_point quietSince() const { return quiet; }
    // Closes the connection at once, whatever it is doing.
    void evict();

private:
    void read();
    void parse();
    void onRead(boost::beast::error_code ec);
    void send(Api::Response response);
    void onWrite(bool close, boost::beast::error_code ec);
    void close();

    boost::beast::tcp_stream stream;
    boost::beast::flat_buffer buffer;
    boost::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser;
    std::shared_ptr<Api::Response> writing;   // the answer being written
    const Api& api;
    std::shared_ptr<Hub> hub;
    Limits limits;
    Clock::time_point quiet;
    bool framingChecked = false;   // the current request's header passed Api::plainFraming
};
