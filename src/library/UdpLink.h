#pragma once
// The UDP kind of link (`udpin://HOST:PORT`): listens on that address and
// sends to the peer heard from most recently. The library speaks only when
// spoken to, so frames wait in the queue (for the hold time) until a first
// datagram arrives. A datagram may hold several frames or part of one. A
// socket never "closes": failed sends and reads are counted and the link
// goes on.
//
// Threads and locks as in Link; the peer is the I/O thread's.
#include <atomic>
#include <memory>

#include <boost/asio/ip/udp.hpp>

#include "Link.h"

namespace ORQ {

class UdpLink : public Link {
public:
    // The largest datagram a read takes whole.
    static constexpr std::size_t datagramMax = 65536;

    UdpLink(const ConnectionString& connection, MessageSystem* ms, MessageManager* mm);
    ~UdpLink() override;

protected:
    void openLink(const OpenHandler& done) override;
    bool linkIsOpen() const override;
    void readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) override;
    void writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) override;
    void cancelLink() override;
    void closeLink() override;
    void releaseLink() override;
    void onReadFailed() override;
    bool peerKnown() const override;

private:
    std::unique_ptr<boost::asio::ip::udp::socket> socket;
    boost::asio::ip::udp::endpoint sender;  // of the datagram being read
    boost::asio::ip::udp::endpoint peer;
    std::atomic<bool> heard;  // peer is set; read by the framer
};

}  // namespace ORQ
