#include "link/Link.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "log/LogLine.h"

namespace ORQ {

namespace {

void sleepMs(unsigned ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

Link::Link(const ConnectionString& connection, std::size_t readSize)
    : run(0),
      isOpen(0),
      target(connection),
      linkClient(nullptr),
      pollArmed(false),
      hostWriting(false),
      readBuffer(readSize),
      reopenWaitMs(reopenFirstWaitMs),
      errorCounter(0),
      retryCounter(0) {}

Link::~Link() {}

void Link::setClient(LinkClient* client) {
    linkClient = client;
}

void Link::stopForDestruction() {
    // A thread still running would outlive the object it works on.
    if (workerRecvThread) {
        deinit();
    }
}

void Link::markOpen() {
    isOpen = 1;
    errorCounter = 0;
    retryCounter = 0;
}

boost::asio::io_context& Link::ioContext() {
    if (!io) {
        io.reset(new boost::asio::io_context(1));
        reopenTimer.reset(new boost::asio::steady_timer(*io));
        pollTimer.reset(new boost::asio::steady_timer(*io));
    }
    return *io;
}

bool Link::init() {
    if (run == 1) {
        logLine("[UartSerial] already running...");
        return workerRecvThread != nullptr;
    }
    run = 1;
    // The open runs on this thread: the context is run here until it is done
    // (a TCP connect is asynchronous), for at most openTimeoutMs.
    boost::asio::io_context& context = ioContext();
    bool done = false;
    bool opened = false;
    ++retryCounter;
    openLink([this, &done, &opened](bool result) {
        done = true;
        opened = result;
        if (opened) {
            markOpen();
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(openTimeoutMs);
    context.restart();
    while (!done && std::chrono::steady_clock::now() < deadline && context.run_one_until(deadline) != 0) {
    }
    if (!done) {
        // The cancelled open ends with its failure lines and calls done (an
        // open that completed meanwhile has opened the link).
        cancelLink();
        context.restart();
        context.run();
        if (!opened) {
            closeLink();
        }
    }
    context.restart();
    if (!opened) {
        return false;
    }
    try {
        // A poll armed by the last run, whose context went with it, is not pending.
        pollArmed = false;
        workerRecvThread.reset(new std::thread(&Link::workerRecv, this));
    } catch (...) {
        logLine("[UartSerial] ERROR while init()");
        sleepMs(10);
        // A link without its thread is not usable: the owner stops whatever
        // did start with deinit().
        isOpen = 0;
        return false;
    }
    return true;
}

void Link::deinit() {
    logLine("[UartSerial] deinit()");
    try {
        if (workerRecvThread) {
            // The client's writes end first, while the I/O thread still runs.
            linkClient->linkStopping();
        }
        run = 0;
        if (workerRecvThread) {
            logLine("[UartSerial] deinit(): join RecvThread...");
            boost::asio::post(*io, [this] { shutdown(); });
            workerRecvThread->join();
            workerRecvThread.reset();
            logLine("[UartSerial] deinit(): joined!");
        }
        closeLink();
        releaseLink();
        reopenTimer.reset();
        pollTimer.reset();
        io.reset();
        isOpen = 0;
    } catch (...) {
        logLine("[UartSerial] ERROR in deinit()");
        sleepMs(10);
    }
    logLine("[UartSerial] deinit(): OK");
}

void Link::reset() {
    errorCounter = 0;
    retryCounter = 0;
}

bool Link::canSend() const {
    return run == 1 && isOpen == 1 && peerKnown();
}

bool Link::peerKnown() const {
    return true;
}

void Link::peerLearned() {
    linkClient->linkChanged();
}

void Link::waitForHostWrite() const {
    // A non-blocking write: it ends at once.
    while (hostWriting) {
        std::this_thread::yield();
    }
}

void Link::write(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) {
    writeAll(bytes, size, handler);
}

std::size_t Link::writeFromHost(const uint8_t* bytes, std::size_t size, boost::system::error_code& ec) {
    hostWriting = true;
    std::size_t n = 0;
    if (canSend()) {
        n = writeNow(bytes, size, ec);
    }
    hostWriting = false;
    return n;
}

boost::system::error_code Link::writeWithoutThread(const uint8_t* bytes, std::size_t size) {
    boost::system::error_code result;
    writeAll(bytes, size, [&result](const boost::system::error_code& ec, std::size_t) { result = ec; });
    ioContext().restart();
    ioContext().run();
    return result;
}

std::size_t Link::writeNow(const uint8_t*, std::size_t, boost::system::error_code&) {
    return 0;
}

void Link::pollAfter(unsigned ms) {
    if (pollArmed) {
        return;
    }
    pollArmed = true;
    pollTimer->expires_after(std::chrono::milliseconds(ms));
    pollTimer->async_wait([this](const boost::system::error_code& ec) {
        pollArmed = false;
        if (!ec) {
            linkClient->linkChanged();
        }
    });
}

void Link::workerRecv() {
    startRead();
    linkClient->linkChanged();
    // Returns once deinit() has cancelled the pending read or reopen wait:
    // no handler re-arms anything after run is cleared.
    io->run();
}

uint8_t Link::getIsOpen() const {
    return isOpen;
}

std::thread* Link::getWorkerRecvThread() const {
    return workerRecvThread.get();
}

const ConnectionString& Link::connection() const {
    return target;
}

bool Link::keepsTime() const {
    return false;
}

void Link::logOpenFailure(int error, const char* text) {
    logLine("[UartSerial] error while open");
    char buffer[128];
    // The GNU strerror_r returns the text, in buffer or in static storage.
    logLine("[UartSerial] reason: ", text ? text : strerror_r(error, buffer, sizeof buffer));
}

bool Link::openAddresses(bool datagram, bool passive, std::vector<ConnectionString::Address>& out) {
    logLine("[UartSerial] open \"", target.text(), "\"");
    const char* problem = target.resolve(datagram, passive, out);
    if (problem || out.empty()) {
        logOpenFailure(0, problem ? problem : "no address");
        return false;
    }
    return true;
}

void Link::countError() {
    ++errorCounter;
}

void Link::startRead() {
    readSome(readBuffer.data(), readBuffer.size(), [this](const boost::system::error_code& ec, std::size_t n) { onRead(ec, n); });
}

void Link::onRead(const boost::system::error_code& ec, std::size_t n) {
    if (ec) {
        // End of file counts as a failure too: an unplugged device may read
        // as end of file instead of an error, and a closed connection does.
        logLine("[UartSerial] ERROR in workerRecv()");
        countError();
        if (run == 1) {
            onReadFailed();
        }
        return;
    }
    linkClient->linkRead(readBuffer.data(), n);
    if (run == 1) {
        startRead();
    }
}

void Link::onReadFailed() {
    reopen();
}

void Link::reopen() {
    logLine();
    logLine("[UartSerial] WARNING reopen()");
    logLine();
    // No host thread starts a write from here on; the one writing now ends
    // before the descriptor is closed.
    isOpen = 0;
    waitForHostWrite();
    reopenWaitMs = reopenFirstWaitMs;
    // Frames may no longer go out.
    linkClient->linkChanged();
    reopenAttempt();
}

void Link::reopenAttempt() {
    if (run != 1) {
        return;
    }
    closeLink();
    reopenTimer->expires_after(std::chrono::milliseconds(reopenSettleMs));
    reopenTimer->async_wait([this](const boost::system::error_code& ec) { onReopenSettled(ec); });
}

void Link::onReopenSettled(const boost::system::error_code& ec) {
    if (ec || run != 1) {
        return;
    }
    ++retryCounter;
    openLink([this](bool opened) { onReopened(opened); });
}

void Link::onReopened(bool opened) {
    if (run != 1) {
        return;
    }
    if (opened) {
        reset();
        logLine();
        logLine("[UartSerial] ", linkIsOpen() ? 1 : 0);
        logLine("[UartSerial] WARNING reopen() OK");
        logLine();
        markOpen();
        startRead();
        linkClient->linkReopened();
        return;
    }
    reopenTimer->expires_after(std::chrono::milliseconds(reopenWaitMs));
    reopenWaitMs = std::min(reopenWaitMs * 2, unsigned(reopenMaxWaitMs));
    reopenTimer->async_wait([this](const boost::system::error_code& e) { onReopenWaited(e); });
}

void Link::onReopenWaited(const boost::system::error_code& ec) {
    if (ec || run != 1) {
        return;
    }
    reopenAttempt();
}

void Link::shutdown() {
    // run is already 0: the cancelled handlers end their chains.
    cancelLink();
    reopenTimer->cancel();
    pollTimer->cancel();
}

}  // namespace ORQ
