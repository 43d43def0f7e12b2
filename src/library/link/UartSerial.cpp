#include "link/UartSerial.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <boost/asio/write.hpp>

#include "log/LogLine.h"
#include "wire/Uart.h"

namespace ORQ {

UartSerial::UartSerial(const char* dev)
    : Link(ConnectionString::serialPath(dev)) {}

UartSerial::UartSerial(const ConnectionString& connection)
    : Link(connection) {}

UartSerial::~UartSerial() {
    stopForDestruction();
}

int UartSerial::openDescriptor(const char* path) {
    // Opened here and handed to the port as a descriptor: serial_port::open
    // would copy the name into a std::string, whose buffer the C++ runtime
    // allocates but this library's own operators would free.
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    // One program per device: TIOCEXCL refuses later opens (except to
    // privileged ones), the lock is seen by every program that asks for it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return error;
    }
    // Raw bytes: no echo, no line editing, no translation of CR/LF, receiver
    // on, modem lines ignored.
    termios tio;
    if (::tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    ::ioctl(fd, TIOCEXCL);
    ::cfmakeraw(&tio);
    tio.c_iflag |= IGNPAR;
    tio.c_cflag |= CREAD | CLOCAL;
    // The driver's low-latency mode hands received bytes on at once instead
    // of after its own timer; drivers without it (pseudo-terminals) refuse
    // the request, which changes nothing.
    serial_struct serial;
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    boost::system::error_code ec;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (!port) {
        port.reset(new boost::asio::serial_port(ioContext()));
    }
    if (port->assign(fd, ec)) {
        ::close(fd);
        return ec.value();
    }
    return 0;
}

bool UartSerial::openNamed(const char* path, const char* name) {
    logLine("[UartSerial] open \"", name, "\"");
    const int error = openDescriptor(path);
    if (error != 0) {
        logOpenFailure(error, error == EBUSY ? "the device is in use by another program" : nullptr);
        return false;
    }
    if (!port->is_open()) {
        logLine("[UartSerial] Failed to open serial port");
        return false;
    }

    boost::system::error_code ec;
    using boost::asio::serial_port_base;
    port->set_option(serial_port_base::baud_rate(connection().baud()), ec);
    if (!ec) port->set_option(serial_port_base::character_size(8), ec);
    if (!ec) port->set_option(serial_port_base::flow_control(serial_port_base::flow_control::none), ec);
    if (!ec) port->set_option(serial_port_base::parity(serial_port_base::parity::none), ec);
    if (!ec) port->set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one), ec);
    if (ec) {
        // The port stays open but unusable; the next open attempt closes it first.
        logLine("[UartSerial] ERROR setting port");
        return false;
    }
    return true;
}

uint8_t UartSerial::open(const char* dev) {
    const char* name = dev ? dev : "";
    if (isOpen == 1) {
        logLine("[UartSerial] open \"", name, "\"");
        logLine("[UartSerial] already open!!!");
        return Uart::ERROR_NO;
    }
    if (!openNamed(name, name)) {
        return Uart::ERROR_EXCEPTION;
    }
    markOpen();
    return Uart::ERROR_NO;
}

void UartSerial::openLink(const OpenHandler& done) {
    done(openNamed(connection().target(), connection().text()));
}

bool UartSerial::linkIsOpen() const {
    return port && port->is_open();
}

void UartSerial::readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) {
    port->async_read_some(boost::asio::buffer(buffer, size), handler);
}

void UartSerial::writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) {
    boost::asio::async_write(*port, boost::asio::buffer(bytes, size), handler);
}

std::size_t UartSerial::writeNow(const uint8_t* bytes, std::size_t size, boost::system::error_code& ec) {
    // The descriptor was opened non-blocking, and the port keeps it so.
    for (;;) {
        const ssize_t n = ::write(port->native_handle(), bytes, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        if (errno != EINTR) {
            ec.assign(errno, boost::system::system_category());
            return 0;
        }
    }
}

void UartSerial::cancelLink() {
    boost::system::error_code ec;
    if (port) port->cancel(ec);
}

void UartSerial::closeLink() {
    if (!linkIsOpen()) {
        return;
    }
    const int fd = port->native_handle();
    // Output the device still sends gets a moment; what it does not take by
    // then must not hold up the close (a real port would wait for it).
    int pending = 0;
    for (unsigned waited = 0; waited < drainOutputMs && ::ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0;
         waited += 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (pending > 0) {
        ::tcflush(fd, TCOFLUSH);
    }
    // Leave the device open to others again (the lock goes with the descriptor).
    ::ioctl(fd, TIOCNXCL);
    boost::system::error_code ec;
    port->close(ec);
}

void UartSerial::releaseLink() {
    port.reset();
}

}  // namespace ORQ
