#include "HttpSession.h"

#include <utility>

#include <boost/beast/websocket/rfc6455.hpp>

#include "Hub.h"
#include "StreamSession.h"

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

const unsigned maxHeader = 8192;

Api::Request closingRequest() {
    Api::Request r;
    r.version(11);
    r.keep_alive(false);
    return r;
}

}  // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket&& socket, const Api& a, std::shared_ptr<Hub> h, const Limits& l)
    : stream(std::move(socket)), api(a), hub(std::move(h)), limits(l) {
    ++hub->connections;
}

HttpSession::~HttpSession() { --hub->connections; }

void HttpSession::start() { read(); }

void HttpSession::refuse() {
    send(Api::error(closingRequest(), http::status::service_unavailable, "too many connections"));
}

void HttpSession::read() {
    parser.emplace();
    parser->body_limit(Api::maxBody);
    parser->header_limit(maxHeader);
    // One deadline for the whole request: a client that trickles it in
    // byte by byte is cut off all the same.
    stream.expires_after(limits.requestTimeout);
    http::async_read(stream, buffer, *parser,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
}

void HttpSession::onRead(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout) return close();
    if (ec == http::error::body_limit) {
        return send(Api::error(closingRequest(), http::status::payload_too_large, "body larger than 1024 bytes"));
    }
    if (ec == http::error::header_limit) {
        return send(Api::error(closingRequest(), http::status::request_header_fields_too_large, "header too large"));
    }
    if (ec.category() == http::make_error_code(http::error::bad_target).category()) {
        return send(Api::error(closingRequest(), http::status::bad_request, "malformed request"));
    }
    if (ec) return close();

    Api::Request request = parser->release();
    if (!beast::websocket::is_upgrade(request)) return send(api.handle(request));

    int hz = 0;
    Api::Response refusal;
    if (!api.admitStream(request, hz, refusal)) return send(std::move(refusal));
    if (hub->streamClients >= limits.maxStreamClients) {
        return send(Api::error(request, http::status::service_unavailable, "too many stream clients"));
    }
    stream.expires_never();
    std::make_shared<StreamSession>(std::move(stream), hub, hz)->start(request, Api::streamProtocol(request));
}

void HttpSession::send(Api::Response response) {
    const bool closeAfter = response.need_eof();
    writing = std::make_shared<Api::Response>(std::move(response));
    stream.expires_after(limits.requestTimeout);
    http::async_write(stream, *writing, [self = shared_from_this(), closeAfter](beast::error_code ec, std::size_t) {
        self->onWrite(closeAfter, ec);
    });
}

void HttpSession::onWrite(bool closeAfter, beast::error_code ec) {
    writing.reset();
    if (ec || closeAfter) return close();
    read();
}

void HttpSession::close() {
    beast::error_code ignored;
    stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
}
