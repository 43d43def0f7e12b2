#include "link/Link.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <boost/asio/post.hpp>
#include <boost/chrono.hpp>

#include "capture/CaptureControl.h"
#include "log/LogLine.h"
#include "link/ReplayLink.h"
#include "link/TcpLink.h"
#include "link/UartSerial.h"
#include "link/UdpLink.h"

namespace ORQ {

namespace {

void sleepMs(unsigned ms) {
    boost::this_thread::sleep_for(boost::chrono::milliseconds(ms));
}

}  // namespace

Link* Link::create(const ConnectionString& c, MessageSystem* ms, MessageManager* mm) {
    switch (c.kind()) {
    case ConnectionString::Serial:
        return new UartSerial(c, ms, mm);
    case ConnectionString::Tcp:
        return new TcpLink(c, ms, mm);
    case ConnectionString::UdpIn:
        return new UdpLink(c, ms, mm);
    case ConnectionString::Replay:
        return new ReplayLink(c, ms, mm);
    case ConnectionString::Invalid:
        break;
    }
    return nullptr;
}

Link::Link(const ConnectionString& connection, MessageSystem* ms, MessageManager* mm, std::size_t readSize)
    : run(0),
      isOpen(0),
      target(connection),
      staleTimerArmed(false),
      sendPosted(false),
      workerRecvThread(nullptr),
      recvBufferSize(0),
      slotSize(0),
      slotSent(0),
      writing(false),
      hostWriting(false),
      draining(false),
      drainBudget(0),
      readBuffer(readSize),
      reopenWaitMs(reopenFirstWaitMs),
      errorCounter(0),
      retryCounter(0),
      ms(ms),
      mm(mm) {}

Link::~Link() {}

void Link::stopForDestruction() {
    // A thread still running would outlive the object it works on.
    if (workerRecvThread) {
        deinit();
    }
}

void Link::markOpen() {
    {
        boost::mutex::scoped_lock lock(slotMutex);
        isOpen = 1;
    }
    errorCounter = 0;
    retryCounter = 0;
    slotChanged.notify_all();
}

uint8_t Link::newData() {
    boost::mutex::scoped_lock lock(mutex);
    return static_cast<uint8_t>(std::min<uint16_t>(recvBufferSize.load(std::memory_order_relaxed), 250));
}

uint8_t Link::send(uint8_t* buffer, uint8_t bufferSize) {
    if (isOpen != 1) {
        logLine("[UartSerial] ERROR in send() not open!");
        countError();
        return ERROR_EXCEPTION;
    }
    if ((buffer == nullptr && bufferSize != 0) || !claimSlot()) {
        logLine("[UartSerial] ERROR in send()");
        countError();
        return ERROR_EXCEPTION;
    }
    if (bufferSize != 0) std::memcpy(slot, buffer, bufferSize);
    if (workerRecvThread != nullptr) {
        handOver(bufferSize);
        return ERROR_NO;
    }
    // No I/O thread runs the context: the caller does, for this one write.
    boost::system::error_code result;
    writeAll(slot, bufferSize, [&result](const boost::system::error_code& ec, std::size_t) { result = ec; });
    ioContext().restart();
    ioContext().run();
    freeSlot();
    if (result) {
        logLine("[UartSerial] ERROR in send()");
        countError();
        return ERROR_EXCEPTION;
    }
    return ERROR_NO;
}

uint8_t Link::receive(uint8_t* buffer, uint8_t maxBufferSize) {
    if (buffer == nullptr) {
        return 0;
    }
    boost::mutex::scoped_lock lock(mutex);
    const uint16_t size = recvBufferSize.load(std::memory_order_relaxed);
    const uint16_t n = std::min<uint16_t>(size, maxBufferSize);
    std::memcpy(buffer, recvBuffer, n);
    std::memmove(recvBuffer, recvBuffer + n, size - n);
    recvBufferSize.store(static_cast<uint16_t>(size - n), std::memory_order_relaxed);
    return static_cast<uint8_t>(n);
}

boost::asio::io_context& Link::ioContext() {
    if (!io) {
        io.reset(new boost::asio::io_context(1));
        reopenTimer.reset(new boost::asio::steady_timer(*io));
        staleTimer.reset(new boost::asio::steady_timer(*io));
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
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(openTimeoutMs);
    context.restart();
    while (!done && Clock::now() < deadline && context.run_one_until(deadline) != 0) {
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
        // A hook posted by the last run, whose context went with it, is not pending.
        sendPosted = false;
        staleTimerArmed = false;
        // Set before the thread starts: a message queued at any time after
        // its first look at the queue wakes it.
        ms->getMessageQueue()->setOnQueued([this] { onQueued(); });
        workerRecvThread = new boost::thread(&Link::workerRecv, this);
        if (workerRecvThread == nullptr) {
            throw std::bad_alloc();
        }
    } catch (...) {
        ms->getMessageQueue()->setOnQueued(nullptr);
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
            // The send side ends first, with the lines it always had: what was
            // queued before this call goes out (while the link is up, for at
            // most deliverMs), then the queue no longer wakes the I/O thread.
            logLine("[UartSerial] deinit(): join SendThread...");
            MessageQueue* queue = ms->getMessageQueue();
            boost::mutex::scoped_lock lock(slotMutex);
            draining = true;
            drainBudget = queue->getElementCount();
            drainDeadline = Clock::now() + std::chrono::milliseconds(deliverMs);
            lock.unlock();
            kickSend();
            lock.lock();
            while (canSend() && Clock::now() < drainDeadline &&
                   (writing || (drainBudget > 0 && queue->getElementCount() > 0))) {
                slotChanged.wait_until(lock, boost::chrono::steady_clock::now() + boost::chrono::milliseconds(5));
            }
            lock.unlock();
            queue->setOnQueued(nullptr);
            logLine("[UartSerial] deinit(): joined!");
        }
        run = 0;
        if (workerRecvThread) {
            logLine("[UartSerial] deinit(): join RecvThread...");
            boost::asio::post(*io, [this] { shutdown(); });
            workerRecvThread->join();
            delete workerRecvThread;
            workerRecvThread = nullptr;
            logLine("[UartSerial] deinit(): joined!");
        }
        closeLink();
        releaseLink();
        reopenTimer.reset();
        staleTimer.reset();
        io.reset();
        isOpen = 0;
        boost::mutex::scoped_lock lock(slotMutex);
        writing = false;
        draining = false;
    } catch (...) {
        logLine("[UartSerial] ERROR in deinit()");
        sleepMs(10);
    }
    logLine("[UartSerial] deinit(): OK");
}

void Link::reset() {
    {
        boost::mutex::scoped_lock lock(mutex);
        recvBufferSize.store(0, std::memory_order_relaxed);
    }
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
    sendNext();
}

bool Link::claimSlot() {
    boost::mutex::scoped_lock lock(slotMutex);
    if (writing) {
        return false;
    }
    writing = true;
    return true;
}

void Link::freeSlot() {
    {
        boost::mutex::scoped_lock lock(slotMutex);
        writing = false;
    }
    slotChanged.notify_all();
}

void Link::handOver(uint16_t size) {
    slotSize = size;
    slotSent = 0;
    boost::asio::post(*io, [this] { startWrite(); });
}

void Link::kickSend() {
    if (!sendPosted.exchange(true)) {
        boost::asio::post(*io, [this] {
            sendPosted = false;
            sendNext();
        });
    }
}

void Link::sendNext() {
    if (run != 1) {
        return;
    }
    MessageQueue* queue = ms->getMessageQueue();
    {
        boost::mutex::scoped_lock lock(slotMutex);
        if (writing) {
            return;  // the end of the write comes back here
        }
        if (!canSend()) {
            lock.unlock();
            // Messages wait for the link, but not beyond the hold time.
            ms->dropStale(holdMs);
            if (!staleTimerArmed && queue->getElementCount() > 0) {
                staleTimerArmed = true;
                staleTimer->expires_after(std::chrono::milliseconds(stalePollMs));
                staleTimer->async_wait([this](const boost::system::error_code& ec) {
                    staleTimerArmed = false;
                    if (!ec) {
                        sendNext();
                    }
                });
            }
            return;
        }
        if (draining && (drainBudget == 0 || Clock::now() >= drainDeadline)) {
            return;
        }
        writing = true;
    }
    // The slot is this thread's until the write ends.
    const uint8_t size = frameNext();
    if (size == 0) {
        freeSlot();
        return;
    }
    {
        boost::mutex::scoped_lock lock(slotMutex);
        if (draining && drainBudget > 0) --drainBudget;
    }
    slotSize = size;
    slotSent = 0;
    startWrite();
}

uint8_t Link::frameNext() {
    // Stale messages go before any is framed: the link may just have come
    // back after a long outage.
    ms->dropStale(holdMs);
    MessageQueue* queue = ms->getMessageQueue();
    uint8_t size = 0;
    for (;;) {
        const uint8_t queued = queue->getElementCount();
        if (queued != 0) {
            size = ms->getNextSendData(slot, slotMax);
        }
        // A head that cannot be framed is dropped and counted by the message
        // system; the one behind it is next.
        if (size != 0 || queued == 0 || queue->getElementCount() >= queued) {
            break;
        }
    }
    if (size != 0) {
        // Removed before writing: a frame that cannot be written is lost,
        // never sent twice.
        queue->deleteFirst();
    }
    return size;
}

void Link::onQueued() {
    {
        boost::mutex::scoped_lock lock(slotMutex);
        if (writing) {
            // The holder looks at the queue once its write ended, after this
            // message was queued.
            return;
        }
        if (!canSend() || draining) {
            // The I/O thread keeps the stale look and the drain's count.
            lock.unlock();
            kickSend();
            return;
        }
        writing = true;
        hostWriting = true;
    }
    const uint8_t size = frameNext();
    if (size == 0) {
        endHostWrite(false);
        return;
    }
    slotSize = size;
    boost::system::error_code ec;
    slotSent = static_cast<uint16_t>(writeNow(slot, size, ec));
    if (slotSent != 0 || ec) {
        CaptureControl::process().record(CaptureWriter::WRITTEN, slot, size);
    }
    if (!ec && slotSent < size) {
        // The rest waits for the descriptor on the I/O thread, which holds
        // the role from here.
        endHostWrite(true);
        boost::asio::post(*io, [this] { startWrite(); });
        return;
    }
    endHostWrite(false);
    if (ec) {
        logLine("[UartSerial] ERROR in workerSend()");
        countError();
    }
    // Messages queued while the role was held were left to this thread: the
    // I/O thread takes them, so a set does not wait for others' frames.
    if (ms->getMessageQueue()->getElementCount() != 0) {
        kickSend();
    }
}

void Link::endHostWrite(bool handedOver) {
    {
        boost::mutex::scoped_lock lock(slotMutex);
        hostWriting = false;
        writing = handedOver;
    }
    slotChanged.notify_all();
}

std::size_t Link::writeNow(const uint8_t*, std::size_t, boost::system::error_code&) {
    return 0;
}

void Link::workerRecv() {
    startRead();
    sendNext();
    // Returns once deinit() has cancelled the pending read or reopen wait:
    // no handler re-arms anything after run is cleared.
    io->run();
}

uint8_t Link::getIsOpen() const {
    return isOpen;
}

boost::thread* Link::getWorkerRecvThread() const {
    return workerRecvThread;
}

const ConnectionString& Link::connection() const {
    return target;
}

void Link::logOpenFailure(int error, const char* text) {
    logLine("[UartSerial] error while open");
    char buffer[128];
    // The GNU strerror_r returns the text, in buffer or in static storage.
    logLine("[UartSerial] reason: ", text ? text : strerror_r(error, buffer, sizeof buffer));
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
    CaptureControl::process().record(CaptureWriter::RECEIVED, readBuffer.data(), n);
    {
        // Every report of this read is stamped with the time it was read.
        const MessageManager::ReceiveBatch batch(*mm);
        procReceivedBytes(readBuffer.data(), n);
    }
    if (run == 1) {
        startRead();
    }
}

bool Link::drivesManagerClock() const {
    return false;
}

void Link::onReadFailed() {
    reopen();
}

void Link::procReceivedBytes(const uint8_t* bytes, std::size_t n) {
    // The link is the message system's: the bytes it reads are the link's
    // received bytes, which the host reads as a statistic.
    ms->countReceivedBytes(static_cast<uint32_t>(n));
    std::size_t i = 0;
    while (i < n) {
        const void* end = std::memchr(bytes + i, MessageSystem::frameEnd, n - i);
        const std::size_t runEnd = end ? static_cast<std::size_t>(static_cast<const uint8_t*>(end) - bytes) + 1 : n;
        Message m;
        bool decoded;
        if (end != nullptr && recvBufferSize.load(std::memory_order_relaxed) == 0 && runEnd - i <= recvBufferMax) {
            // Nothing gathered before and nothing to drop: the frame is decoded
            // where it was read. Only this thread adds to the gathered bytes,
            // so they stay empty.
            decoded = ms->receiveFrame(bytes + i, runEnd - i, m);
        } else {
            decoded = gather(bytes + i, runEnd - i, end != nullptr, m);
        }
        i = runEnd;
        // One message per end byte, routed before the bytes after it are
        // looked at.
        if (decoded) {
            mm->procMessage(&m, ms);
        }
    }
}

bool Link::gather(const uint8_t* bytes, std::size_t n, bool endsFrame, Message& m) {
    unsigned dropped = 0;
    uint8_t frame[MessageSystem::receiveBufferSize];
    std::size_t frameSize = 0;
    {
        boost::mutex::scoped_lock lock(mutex);
        uint16_t size = recvBufferSize.load(std::memory_order_relaxed);
        while (n > 0) {
            // Nothing drains the buffer but an end byte: when a byte arrives
            // with the buffer full, the gathered bytes cannot hold a frame
            // and are dropped.
            if (size >= recvBufferMax) {
                ++dropped;
                size = 0;
            }
            const std::size_t take = std::min<std::size_t>(n, recvBufferMax - size);
            std::memcpy(recvBuffer + size, bytes, take);
            size = static_cast<uint16_t>(size + take);
            bytes += take;
            n -= take;
        }
        if (endsFrame) {
            // The message system looks at no more than this of them.
            frameSize = std::min<std::size_t>(size, sizeof frame);
            std::memcpy(frame, recvBuffer + size - frameSize, frameSize);
            size = 0;
        }
        recvBufferSize.store(size, std::memory_order_relaxed);
    }
    for (unsigned k = 0; k < dropped; ++k) {
        logLine("[UartSerial] workerRecv buffer (", recvBufferMax, ") full, waiting...");
    }
    return endsFrame && ms->receiveFrame(frame, frameSize, m);
}

void Link::reopen() {
    logLine();
    logLine("[UartSerial] WARNING reopen()");
    logLine();
    {
        // No host thread starts a write from here on; the one writing now
        // ends before the descriptor is closed.
        boost::mutex::scoped_lock lock(slotMutex);
        isOpen = 0;
        while (hostWriting) {
            slotChanged.wait(lock);
        }
    }
    reopenWaitMs = reopenFirstWaitMs;
    // Queued messages now wait for the link, and may go stale.
    sendNext();
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
        sendNext();
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

void Link::startWrite() {
    if (!canSend()) {
        // The link went down after the frame was framed: it is lost.
        countError();
        freeSlot();
        sendNext();
        return;
    }
    if (slotSent == 0) {
        CaptureControl::process().record(CaptureWriter::WRITTEN, slot, slotSize);
    }
    writeAll(slot + slotSent, slotSize - slotSent,
             [this](const boost::system::error_code& ec, std::size_t) { onWritten(ec); });
}

void Link::onWritten(const boost::system::error_code& ec) {
    if (ec && run == 1) {
        logLine("[UartSerial] ERROR in workerSend()");
        countError();
    }
    freeSlot();
    sendNext();
}

void Link::shutdown() {
    // run is already 0: the cancelled handlers end their chains.
    cancelLink();
    reopenTimer->cancel();
    staleTimer->cancel();
}

}  // namespace ORQ
