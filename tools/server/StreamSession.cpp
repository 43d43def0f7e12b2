#include "StreamSession.h"

#include <utility>

namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

const size_t maxIncoming = 1024;
// What the system may hold for a client that does not read: about a second
// of deltas at the highest rate. Past that the client's ticks are skipped,
// so it is sent a fresh picture instead of working through a backlog.
const int sendBuffer = 16 * 1024;

}  // namespace

StreamSession::StreamSession(beast::tcp_stream&& stream, std::shared_ptr<Hub> h, int hz)
    : ws(std::move(stream)),
      timer(ws.get_executor()),
      setsSent(h->history.lastSet()),
      hub(std::move(h)),
      period(std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / hz))) {
    ++hub->streamClients;
}

StreamSession::~StreamSession() { --hub->streamClients; }

void StreamSession::start(const Api::Request& upgrade, const std::string& protocol) {
    boost::system::error_code ignored;
    beast::get_lowest_layer(ws).socket().set_option(boost::asio::socket_base::send_buffer_size(sendBuffer), ignored);
    // Pings an idle client and drops it when it does not answer.
    ws.set_option(websocket::stream_base::timeout{std::chrono::seconds(10), std::chrono::seconds(20), true});
    ws.set_option(websocket::stream_base::decorator([protocol](websocket::response_type& r) {
        r.set(beast::http::field::server, "orq-server");
        if (!protocol.empty()) r.set(beast::http::field::sec_websocket_protocol, protocol);
    }));
    ws.read_message_max(maxIncoming);
    ws.async_accept(upgrade, [self = shared_from_this()](beast::error_code ec) { self->onAccept(ec); });
}

void StreamSession::onAccept(beast::error_code ec) {
    if (ec) return;
    read();
    timer.expires_after(std::chrono::steady_clock::duration::zero());
    timer.async_wait([self = shared_from_this()](beast::error_code e) {
        if (!e) self->tick();
    });
}

void StreamSession::read() {
    ws.async_read(in, [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) return self->stop();
        self->in.consume(self->in.size());
        self->read();
    });
}

void StreamSession::tick() {
    if (stopped) return;
    // Next tick one period after this one's due time; after a stall, one
    // period from now rather than a burst of overdue ticks.
    const auto now = std::chrono::steady_clock::now();
    const auto next = timer.expiry() + period;
    timer.expires_at(next > now ? next : now + period);
    timer.async_wait([self = shared_from_this()](beast::error_code e) {
        if (!e) self->tick();
    });

    if (writing) {
        behind = true;
        return;
    }
    // Sets and pictures take turns when both are due, so that neither
    // starves the other however often sets are made.
    out = setsLast ? std::string() : takeSets(now);
    if (out.empty()) out = nextPicture();
    if (out.empty() && setsLast) out = takeSets(now);
    if (out.empty()) return;
    writing = true;
    ws.text(true);
    ws.async_write(boost::asio::buffer(out), [self = shared_from_this()](beast::error_code ec, std::size_t) {
        self->onWrite(ec);
    });
}

std::string StreamSession::takeSets(std::chrono::steady_clock::time_point now) {
    std::string message = hub->history.setsMessage(setsSent, now);
    setsSent = hub->history.lastSet();
    setsLast = !message.empty();
    return message;
}

std::string StreamSession::nextPicture() {
    const Hub::Picture picture = hub->current();
    std::string message = behind ? hub->fullMessage(picture) : hub->messageFor(sent, picture);
    behind = false;
    if (!message.empty()) {
        sent = picture;
        setsLast = false;
    }
    return message;
}

void StreamSession::onWrite(beast::error_code ec) {
    writing = false;
    if (ec) stop();
}

void StreamSession::stop() {
    stopped = true;
    timer.cancel();
}
