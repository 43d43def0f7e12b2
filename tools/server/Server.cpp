#include "Server.h"

#include <algorithm>
#include <csignal>
#include <iostream>

#include <boost/asio/signal_set.hpp>

#include "Hub.h"

namespace net = boost::asio;
using net::ip::tcp;

Server::Server(const Vehicle& vehicle, const Options& o)
    : io(1),
      options(o),
      files(o.webFolder),
      hub(std::make_shared<Hub>(vehicle)),
      api(vehicle, files, hub->history, o.api),
      acceptor(io),
      retry(io),
      sampler(io) {
    acceptor.open(options.listen.protocol());
    acceptor.set_option(net::socket_base::reuse_address(true));
    acceptor.bind(options.listen);
    acceptor.listen(net::socket_base::max_listen_connections);
}

Server::~Server() = default;

tcp::endpoint Server::endpoint() const { return acceptor.local_endpoint(); }

void Server::run(bool stopOnSignals) {
    net::signal_set signals(io);
    if (stopOnSignals) {
        signals.add(SIGINT);
        signals.add(SIGTERM);
        signals.async_wait([this](boost::system::error_code ec, int) {
            if (!ec) io.stop();
        });
    }
    accept();
    sampler.expires_after(std::chrono::steady_clock::duration::zero());
    sampleHistory();
    io.run();
}

void Server::sampleHistory() {
    hub->sampleHistory();
    // One period after this sample's due time; after a stall, one period
    // from now rather than a burst of samples of the same moment.
    const auto now = std::chrono::steady_clock::now();
    const auto next = sampler.expiry() + History::period;
    sampler.expires_at(next > now ? next : now + History::period);
    sampler.async_wait([this](boost::system::error_code ec) {
        if (!ec) sampleHistory();
    });
}

void Server::stop() { io.stop(); }

bool Server::room() {
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                  [](const std::weak_ptr<HttpSession>& s) { return s.expired(); }),
                   sessions.end());
    if (sessions.size() < static_cast<size_t>(options.maxConnections)) return true;
    const auto quietest = std::min_element(sessions.begin(), sessions.end(), [](const auto& a, const auto& b) {
        return a.lock()->quietSince() < b.lock()->quietSince();
    });
    const std::shared_ptr<HttpSession> victim = quietest->lock();
    if (HttpSession::Clock::now() - victim->quietSince() < options.silentLimit) return false;
    victim->evict();
    sessions.erase(quietest);
    return true;
}

void Server::accept() {
    acceptor.async_accept([this](boost::system::error_code ec, tcp::socket socket) {
        if (ec) {
            std::cerr << "orq-server: accept failed: " << ec.message() << std::endl;
            retry.expires_after(std::chrono::milliseconds(100));
            retry.async_wait([this](boost::system::error_code e) {
                if (!e) accept();
            });
            return;
        }
        auto session = std::make_shared<HttpSession>(std::move(socket), api, hub,
                                                     HttpSession::Limits{options.requestTimeout, options.maxStreamClients});
        if (room()) {
            sessions.push_back(session);
            session->start();
        } else {
            session->refuse();
        }
        accept();
    });
}
