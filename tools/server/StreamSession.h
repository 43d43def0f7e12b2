#pragma once
// One WebSocket client of the stream: every 1/hz seconds it sends what
// changed since the picture the client was sent last (nothing when nothing
// changed), or, when sets were made through the server since the client was
// last told, those sets ({"kind":"sets"}, History); when both are due, ticks
// alternate between them. A set is never skipped for a slow client, as long
// as the history keeps it. At most one message is in flight: a tick that finds the previous
// message still being written is skipped, and the client is sent the whole
// picture once it has caught up, so a slow client costs neither memory nor
// time of the link. Incoming messages are read and dropped.
//
// Lives on the server's I/O thread, owned by its own pending operations
// (shared_from_this). Counted in Hub::streamClients from construction on.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "Api.h"
#include "Hub.h"

class StreamSession : public std::enable_shared_from_this<StreamSession> {
public:
    StreamSession(boost::beast::tcp_stream&& stream, std::shared_ptr<Hub> hub, int hz);
    ~StreamSession();
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    // Completes the handshake of upgrade, accepting protocol when not empty.
    void start(const Api::Request& upgrade, const std::string& protocol);

private:
    void onAccept(boost::beast::error_code ec);
    void read();
    void tick();
    // The message of the sets not yet sent (empty: none), marked as sent.
    std::string takeSets(std::chrono::steady_clock::time_point now);
    // The message that brings the client to the latest picture (empty:
    // nothing changed), marked as sent.
    std::string nextPicture();
    void onWrite(boost::beast::error_code ec);
    void stop();

    boost::beast::websocket::stream<boost::beast::tcp_stream> ws;
    boost::asio::steady_timer timer;
    boost::beast::flat_buffer in;
    std::string out;              // the message being written
    Hub::Picture sent;            // what the client has (null: nothing yet)
    uint64_t setsSent;            // number of the last set the client was told of
    std::shared_ptr<Hub> hub;
    std::chrono::steady_clock::duration period;
    bool writing = false;
    bool behind = false;          // a tick was skipped: send the whole picture next
    bool setsLast = false;        // the last message sent was one of sets
    bool stopped = false;
};
