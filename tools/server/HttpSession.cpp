#include "HttpSession.h"

#include <utility>

#include <boost/beast/websocket/rfc6455.hpp>

#include "Hub.h"
#include "StreamSession.h"

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

const unsigned maxHeader = 8192;
const size_t readSize = 4096;

Api::Request closingRequest() {
    Api::Request r;
    r.version(11);
    r.keep_alive(false);
    return r;
}

}  // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket&& socket, const Api& a, std::shared_ptr<Hub> h, const Limits& l)
    : stream(std::move(socket)), api(a), hub(std::move(h)), limits(l), quiet(Clock::now()) {}

void HttpSession::start() { read(); }

void HttpSession::refuse() {
    send(Api::error(closingRequest(), http::status::service_unavailable, "too many connections"));
}

void HttpSession::evict() { stream.close(); }

void HttpSession::read() {
    parser.emplace();
    parser->body_limit(Api::maxBody);
    parser->header_limit(maxHeader);
    framingChecked = false;
    // One deadline for the whole request: a client that trickles it in
    // byte by byte is cut off all the same.
    stream.expires_after(limits.requestTimeout);
    parse();
}

// Beast's own read loop reports nothing until the header is whole; this one
// notes every byte that arrives (quietSince) and checks the framing as soon
// as the header is read, before any of the body.
void HttpSession::parse() {
    beast::error_code ec;
    while (buffer.size() > 0 && !parser->is_done()) {
        buffer.consume(parser->put(buffer.data(), ec));
        if (ec && ec != http::error::need_more) return onRead(ec);
        if (parser->is_header_done() && !framingChecked) {
            if (!Api::plainFraming(parser->get())) {
                return send(Api::error(closingRequest(), http::status::bad_request, "unsupported Transfer-Encoding"));
            }
            framingChecked = true;
        }
        if (ec) break;
    }
    if (parser->is_done()) return onRead({});
    stream.async_read_some(buffer.prepare(readSize), [self = shared_from_this()](beast::error_code e, std::size_t n) {
        self->buffer.commit(n);
        if (e == boost::asio::error::eof) {
            e = self->parser->got_some() ? http::error::partial_message : http::error::end_of_stream;
        }
        if (e) return self->onRead(e);
        self->quiet = Clock::now();
        self->parse();
    });
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
    std::make_shared<StreamSession>(std::move(stream), hub, hz)->start(request, api.streamProtocol(request));
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
    quiet = Clock::now();
    if (ec || closeAfter) return close();
    read();
}

void HttpSession::close() {
    beast::error_code ignored;
    stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
}
