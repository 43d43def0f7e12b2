#pragma once
// orq-server's network side: listens on one address, accepts HTTP
// connections up to a limit, and runs every session, the stream included, on
// one I/O thread, which also samples the History every History::period. At
// the limit, the connection that has been silent longest (no byte sent, no
// answer given) is closed to make room when it has been so for silentLimit at
// least; otherwise the new one is answered 503 and closed. So idle sockets
// cannot hold every slot for a whole request timeout.
//
// The constructor binds (throws boost::system::system_error when it cannot).
// run() is the I/O thread: it returns after stop(), which any thread may
// call. Everything else of the server lives on that thread and takes no lock.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "Api.h"
#include "HttpSession.h"
#include "StaticFiles.h"

class Hub;
class Vehicle;

class Server {
public:
    struct Options {
        boost::asio::ip::tcp::endpoint listen;
        Api::Options api;
        std::string webFolder;
        std::chrono::milliseconds requestTimeout{10000};
        int maxConnections = 64;   // HTTP connections, streams not counted
        std::chrono::milliseconds silentLimit{2000};
        int maxStreamClients = 32;
    };

    Server(const Vehicle& vehicle, const Options& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // The address bound (with the port chosen when port 0 was asked for).
    boost::asio::ip::tcp::endpoint endpoint() const;
    size_t webFiles() const { return files.size(); }
    // Runs the I/O thread until stop(), or SIGINT/SIGTERM when stopOnSignals.
    void run(bool stopOnSignals = false);
    void stop();

private:
    void accept();
    // Makes room for one more connection; false when the limit holds.
    bool room();
    // Samples the history now and every History::period after.
    void sampleHistory();

    // Declared first, destroyed last: destroying it destroys the pending
    // operations and with them the sessions, which hold the hub by shared
    // pointer and nothing else of the server.
    boost::asio::io_context io;
    Options options;
    StaticFiles files;
    std::shared_ptr<Hub> hub;
    Api api;   // records sets into the hub's history
    boost::asio::ip::tcp::acceptor acceptor;
    boost::asio::steady_timer retry;   // pause after a failed accept (no descriptor left)
    boost::asio::steady_timer sampler;
    std::vector<std::weak_ptr<HttpSession>> sessions;   // expired once a session ends or turns into a stream
};
