#pragma once
// The serial kind of link: one serial device opened by path, raw 8N1 at the
// connection string's rate (57600 unless given), no flow control, in the
// driver's low-latency mode where it has one. The device is held exclusively
// (TIOCEXCL and an flock), so a second program on it fails to open it. A
// failed read closes the device and reopens it with growing waits.
//
// Threads and locks as in Link. open() belongs to the starting thread while
// the threads do not run, and to the I/O thread while they do.
#include <memory>

#include <boost/asio/serial_port.hpp>

#include "link/Link.h"

namespace ORQ {

class UartSerial : public Link {
public:
    // dev is the whole device path (a null name is kept as "", which never
    // opens), at 57600 baud. Touches no device.
    explicit UartSerial(const char* dev);
    explicit UartSerial(const ConnectionString& connection);
    ~UartSerial() override;

    // Opens and configures the device at dev: Uart::ERROR_NO or
    // Uart::ERROR_EXCEPTION.
    uint8_t open(const char* dev);

protected:
    void openLink(const OpenHandler& done) override;
    bool linkIsOpen() const override;
    void readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) override;
    void writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) override;
    std::size_t writeNow(const uint8_t* bytes, std::size_t size, boost::system::error_code& ec) override;
    void cancelLink() override;
    void closeLink() override;
    void releaseLink() override;

private:
    // Longest wait in closeLink() for output the device still sends.
    static constexpr unsigned drainOutputMs = 100;

    // Opens the device at path, writing `name` in the open line; true when
    // it is open and configured.
    bool openNamed(const char* path, const char* name);
    // Opens the device raw and exclusively and hands the descriptor to the
    // port; 0 or the errno of the failure.
    int openDescriptor(const char* path);

    std::unique_ptr<boost::asio::serial_port> port;
};

}  // namespace ORQ
