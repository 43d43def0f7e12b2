#pragma once
// The listening TCP kind of link (`tcpin://HOST:PORT`): for a simulator or a
// companion computer that connects to the ground station. It listens on
// that address (0.0.0.0 or [::]: every interface) and serves one client at a
// time; when the client goes, the next one to connect is served. A client
// that connects while another is served is accepted and closed at once
// (it reads end of file), and counted in the frequent line
// "[UartSerial] WARNING client refused: another one is served".
//
// The link is open while it listens; frames go out only while a client is
// served, and wait in the queue (for the hold time) until one is. Bytes of a
// client that went are of no use to the next one. Reading and writing the
// client's connection are TcpLink's.
//
// Threads and locks as in Link; the listener and the waiting read are the
// I/O thread's.
#include <memory>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "link/TcpLink.h"

namespace ORQ {

class TcpInLink : public TcpLink {
public:
    explicit TcpInLink(const ConnectionString& connection);
    ~TcpInLink() override;

protected:
    void openLink(const OpenHandler& done) override;
    bool linkIsOpen() const override;
    void readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) override;
    void cancelLink() override;
    void closeLink() override;
    void releaseLink() override;
    void onReadFailed() override;
    bool peerKnown() const override;

private:
    static constexpr unsigned acceptRetryMs = 100;

    // Waits for the next connection, to serve or to refuse.
    void accept();
    void onAccepted(const boost::system::error_code& ec);

    std::unique_ptr<boost::asio::ip::tcp::acceptor> listener;
    std::unique_ptr<boost::asio::ip::tcp::socket> incoming;  // the connection being accepted
    std::unique_ptr<boost::asio::steady_timer> retryTimer;   // after a failed accept
    // The read asked for while no client is served; it starts on the next.
    uint8_t* waitingBuffer;
    std::size_t waitingSize;
    ReadHandler waitingRead;
};

}  // namespace ORQ
