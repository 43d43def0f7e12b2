#include "UartSerial.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/chrono.hpp>

#include "CaptureControl.h"
#include "LogLine.h"

namespace ORQ {

namespace {

std::vector<char> copyName(const char* dev) {
    const char* name = dev ? dev : "";
    return std::vector<char>(name, name + std::strlen(name) + 1);
}

void sleepMs(unsigned ms) {
    boost::this_thread::sleep_for(boost::chrono::milliseconds(ms));
}

}  // namespace

UartSerial::UartSerial(const char* dev, MessageSystem* ms, MessageManager* mm)
    : port(io),
      reopenTimer(io),
      workerSendThread(nullptr),
      workerRecvThread(nullptr),
      recvBufferSize(0),
      txPendingSize(0),
      writing(false),
      reopenWaitMs(reopenFirstWaitMs),
      run(0),
      isOpen(0),
      errorCounter(0),
      retryCounter(0),
      myDev(copyName(dev)),
      ms(ms),
      mm(mm) {
    reset();
}

UartSerial::~UartSerial() {
    // Threads still running would outlive the object they work on.
    if (workerSendThread || workerRecvThread) {
        deinit();
    }
}

uint8_t UartSerial::newData() {
    boost::mutex::scoped_lock lock(mutex);
    return static_cast<uint8_t>(std::min<uint16_t>(recvBufferSize, 250));
}

uint8_t UartSerial::send(uint8_t* buffer, uint8_t bufferSize) {
    if (isOpen != 1) {
        logLine("[UartSerial] ERROR in send() not open!");
        countError();
        return ERROR_EXCEPTION;
    }
    if (buffer == nullptr && bufferSize != 0) {
        logLine("[UartSerial] ERROR in send()");
        countError();
        return ERROR_EXCEPTION;
    }
    if (workerRecvThread == nullptr) {
        // No I/O thread owns the port: the caller is its only user.
        boost::system::error_code ec;
        boost::asio::write(port, boost::asio::buffer(buffer, bufferSize), ec);
        if (ec) {
            logLine("[UartSerial] ERROR in send()");
            countError();
            return ERROR_EXCEPTION;
        }
        return ERROR_NO;
    }
    if (!queueWrite(buffer, bufferSize)) {
        logLine("[UartSerial] ERROR in send()");
        countError();
        return ERROR_EXCEPTION;
    }
    return ERROR_NO;
}

uint8_t UartSerial::receive(uint8_t* buffer, uint8_t maxBufferSize) {
    if (buffer == nullptr) {
        return 0;
    }
    boost::mutex::scoped_lock lock(mutex);
    const uint16_t n = std::min<uint16_t>(recvBufferSize, maxBufferSize);
    std::memcpy(buffer, recvBuffer, n);
    std::memmove(recvBuffer, recvBuffer + n, recvBufferSize - n);
    recvBufferSize = static_cast<uint16_t>(recvBufferSize - n);
    return static_cast<uint8_t>(n);
}

bool UartSerial::openDescriptor(const char* name) {
    // Opened here and handed to the port as a descriptor: serial_port::open
    // would copy the name into a std::string, whose buffer the C++ runtime
    // allocates but this library's own operators would free.
    const int fd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Raw bytes: no echo, no line editing, no translation of CR/LF, receiver
    // on, modem lines ignored.
    termios tio;
    if (::tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_iflag |= IGNPAR;
    tio.c_cflag |= CREAD | CLOCAL;
    boost::system::error_code ec;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0 || port.assign(fd, ec)) {
        ::close(fd);
        return false;
    }
    return true;
}

uint8_t UartSerial::open(const char* dev) {
    const char* name = dev ? dev : "";
    logLine("[UartSerial] open \"", name, "\"");
    if (isOpen == 1) {
        logLine("[UartSerial] already open!!!");
        return ERROR_NO;
    }
    ++retryCounter;

    boost::system::error_code ec;
    if (!openDescriptor(name)) {
        logLine("[UartSerial] error while open");
        return ERROR_EXCEPTION;
    }
    if (!port.is_open()) {
        logLine("[UartSerial] Failed to open serial port");
        return ERROR_EXCEPTION;
    }

    using boost::asio::serial_port_base;
    port.set_option(serial_port_base::baud_rate(57600), ec);
    if (!ec) port.set_option(serial_port_base::character_size(8), ec);
    if (!ec) port.set_option(serial_port_base::flow_control(serial_port_base::flow_control::none), ec);
    if (!ec) port.set_option(serial_port_base::parity(serial_port_base::parity::none), ec);
    if (!ec) port.set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one), ec);
    if (ec) {
        // The port stays open but unusable; the next open attempt closes it first.
        logLine("[UartSerial] ERROR setting port");
        return ERROR_EXCEPTION;
    }

    isOpen = 1;
    errorCounter = 0;
    retryCounter = 0;
    return ERROR_NO;
}

void UartSerial::init() {
    if (run == 1) {
        logLine("[UartSerial] already running...");
        return;
    }
    run = 1;
    open(myDev.data());
    if (isOpen != 1) {
        return;
    }
    try {
        io.restart();
        workerSendThread = new boost::thread(&UartSerial::workerSend, this);
        workerRecvThread = new boost::thread(&UartSerial::workerRecv, this);
        if (workerSendThread == nullptr || workerRecvThread == nullptr) {
            throw std::bad_alloc();
        }
    } catch (...) {
        logLine("[UartSerial] ERROR while init()");
        sleepMs(10);
        // A driver without both threads is not usable: the owner sees the
        // port as not open and stops whatever did start with deinit().
        isOpen = 0;
    }
}

void UartSerial::deinit() {
    logLine("[UartSerial] deinit()");
    run = 0;
    try {
        if (workerSendThread) {
            // The send thread never waits on the port; woken, it sees run at once.
            logLine("[UartSerial] deinit(): join SendThread...");
            ms->getMessageQueue()->wake();
            workerSendThread->join();
            delete workerSendThread;
            workerSendThread = nullptr;
            logLine("[UartSerial] deinit(): joined!");
        }
        if (workerRecvThread) {
            logLine("[UartSerial] deinit(): join RecvThread...");
            boost::asio::post(io, [this] { shutdown(); });
            workerRecvThread->join();
            delete workerRecvThread;
            workerRecvThread = nullptr;
            logLine("[UartSerial] deinit(): joined!");
        }
        boost::system::error_code ec;
        if (port.is_open()) {
            // Output the device no longer takes must not hold up the close.
            ::tcflush(port.native_handle(), TCOFLUSH);
        }
        port.close(ec);
        isOpen = 0;
        if (ec) {
            throw boost::system::system_error(ec);
        }
    } catch (...) {
        logLine("[UartSerial] ERROR in deinit()");
        sleepMs(10);
    }
    logLine("[UartSerial] deinit(): OK");
}

void UartSerial::reset() {
    {
        boost::mutex::scoped_lock lock(mutex);
        recvBufferSize = 0;
    }
    errorCounter = 0;
    retryCounter = 0;
}

void UartSerial::workerSend() {
    uint8_t frame[sendFrameMax];
    while (run == 1) {
        waitForTxRoom();
        uint8_t size = ms->getNextSendData(frame, sendFrameMax);
        while (size == 0 && run == 1) {
            // The queue wakes this thread as soon as it gains a message, and
            // deinit() wakes it to end; the timeout is only a fallback.
            ms->getMessageQueue()->waitForMessage(idlePollMs);
            size = ms->getNextSendData(frame, sendFrameMax);
        }
        if (run != 1) {
            return;
        }
        // Removed before writing: a frame that cannot be written is lost,
        // never sent twice.
        ms->getMessageQueue()->deleteFirst();
        // While the port is being reopened frames are discarded silently.
        if (isOpen == 1 && !queueWrite(frame, size)) {
            logLine("[UartSerial] ERROR in workerSend()");
            countError();
        }
    }
}

void UartSerial::workerRecv() {
    startRead();
    // Returns once deinit() has cancelled the pending read or reopen wait:
    // no handler re-arms anything after run is cleared.
    io.run();
}

uint8_t UartSerial::getIsOpen() const {
    return isOpen;
}

boost::thread* UartSerial::getWorkerRecvThread() const {
    return workerRecvThread;
}

void UartSerial::startRead() {
    port.async_read_some(boost::asio::buffer(readBuffer, readChunk),
                         [this](const boost::system::error_code& ec, std::size_t n) { onRead(ec, n); });
}

void UartSerial::onRead(const boost::system::error_code& ec, std::size_t n) {
    if (ec) {
        // End of file counts as a failure too: an unplugged device may read
        // as end of file instead of an error.
        logLine("[UartSerial] ERROR in workerRecv()");
        countError();
        if (run == 1) {
            reopen();
        }
        return;
    }
    CaptureControl::process().record(CaptureWriter::RECEIVED, readBuffer, n);
    procReceivedBytes(readBuffer, n);
    if (run == 1) {
        startRead();
    }
}

void UartSerial::procReceivedBytes(const uint8_t* bytes, std::size_t n) {
    // The driver is the message system's link: the bytes it reads are the
    // link's received bytes, which the host reads as a statistic.
    ms->receivedBytes.fetch_add(static_cast<uint32_t>(n), std::memory_order_relaxed);
    std::size_t i = 0;
    while (i < n) {
        uint16_t fullSize = 0;
        bool frameEnded = false;
        {
            // One lock and one copy for the bytes up to the next end byte,
            // not one of each per byte.
            boost::mutex::scoped_lock lock(mutex);
            // Nothing drains the buffer but an end byte: when a byte arrives
            // with the buffer full, the gathered bytes cannot hold a frame
            // and are dropped.
            if (recvBufferSize >= recvBufferMax) {
                fullSize = recvBufferSize;
                recvBufferSize = 0;
            }
            const void* end = std::memchr(bytes + i, MessageSystem::frameEnd, n - i);
            const std::size_t runEnd = end ? static_cast<const uint8_t*>(end) - bytes + 1 : n;
            const std::size_t take = std::min<std::size_t>(runEnd - i, recvBufferMax - recvBufferSize);
            std::memcpy(recvBuffer + recvBufferSize, bytes + i, take);
            recvBufferSize = static_cast<uint16_t>(recvBufferSize + take);
            i += take;
            if (end && i == runEnd) {
                // The frame closes the gathered bytes: after more noise than
                // the message system holds, hand over the end, where it is.
                const uint16_t handOver = std::min<uint16_t>(recvBufferSize, MessageSystem::receiveBufferSize);
                ms->procNewData(recvBuffer + recvBufferSize - handOver, static_cast<uint8_t>(handOver));
                recvBufferSize = 0;
                frameEnded = true;
            }
        }
        if (fullSize != 0) {
            logLine("[UartSerial] workerRecv buffer (", fullSize, ") full, waiting...");
        }
        if (frameEnded) {
            // One message per end byte, before the bytes after it are looked
            // at; a frame left over waits for the next end byte.
            Message* m = ms->getNewMessage();
            if (m) {
                mm->procMessage(m, ms);
                delete m;
            }
        }
    }
}

void UartSerial::reopen() {
    logLine();
    logLine("[UartSerial] WARNING reopen()");
    logLine();
    isOpen = 0;
    reopenWaitMs = reopenFirstWaitMs;
    reopenAttempt();
}

void UartSerial::reopenAttempt() {
    if (run != 1) {
        return;
    }
    closePort();
    reopenTimer.expires_after(std::chrono::milliseconds(reopenSettleMs));
    reopenTimer.async_wait([this](const boost::system::error_code& ec) { onReopenSettled(ec); });
}

void UartSerial::onReopenSettled(const boost::system::error_code& ec) {
    if (ec || run != 1) {
        return;
    }
    open(myDev.data());
    if (isOpen == 1) {
        reset();
        logLine();
        logLine("[UartSerial] ", port.is_open() ? 1 : 0);
        logLine("[UartSerial] WARNING reopen() OK");
        logLine();
        startRead();
        return;
    }
    reopenTimer.expires_after(std::chrono::milliseconds(reopenWaitMs));
    reopenWaitMs = std::min(reopenWaitMs * 2, unsigned(reopenMaxWaitMs));
    reopenTimer.async_wait([this](const boost::system::error_code& e) { onReopenWaited(e); });
}

void UartSerial::onReopenWaited(const boost::system::error_code& ec) {
    if (ec || run != 1) {
        return;
    }
    reopenAttempt();
}

void UartSerial::waitForTxRoom() {
    boost::mutex::scoped_lock lock(txMutex);
    while (run == 1 && isOpen == 1 && txBufferMax - txPendingSize < sendFrameMax) {
        // Timed, so that a stop is seen even without a notification.
        txRoom.wait_for(lock, boost::chrono::milliseconds(10));
    }
}

bool UartSerial::queueWrite(const uint8_t* bytes, uint8_t size) {
    bool wake = false;
    {
        boost::mutex::scoped_lock lock(txMutex);
        if (txPendingSize + size > txBufferMax) {
            return false;
        }
        std::memcpy(txPending + txPendingSize, bytes, size);
        txPendingSize = static_cast<uint16_t>(txPendingSize + size);
        if (!writing) {
            writing = true;
            wake = true;
        }
    }
    if (wake) {
        boost::asio::post(io, [this] { startWrite(); });
    }
    return true;
}

void UartSerial::startWrite() {
    uint16_t size = 0;
    {
        boost::mutex::scoped_lock lock(txMutex);
        if (txPendingSize == 0 || run != 1 || isOpen != 1) {
            // Output gathered for a port that closed meanwhile is lost.
            txPendingSize = 0;
            writing = false;
            return;
        }
        size = txPendingSize;
        std::memcpy(txActive, txPending, size);
        txPendingSize = 0;
    }
    txRoom.notify_one();
    CaptureControl::process().record(CaptureWriter::WRITTEN, txActive, size);
    boost::asio::async_write(port, boost::asio::buffer(txActive, size),
                             [this](const boost::system::error_code& ec, std::size_t) { onWritten(ec); });
}

void UartSerial::onWritten(const boost::system::error_code& ec) {
    if (ec && run == 1) {
        logLine("[UartSerial] ERROR in workerSend()");
        countError();
    }
    startWrite();
}

void UartSerial::shutdown() {
    // run is already 0: the cancelled handlers end their chains.
    boost::system::error_code ec;
    port.cancel(ec);
    reopenTimer.cancel();
}

void UartSerial::closePort() {
    boost::system::error_code ec;
    port.close(ec);
}

void UartSerial::countError() {
    ++errorCounter;
}

}  // namespace ORQ
