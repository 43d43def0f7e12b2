#include "host/Pump.h"

#include <algorithm>
#include <cstring>

#include "capture/CaptureControl.h"
#include "capture/CaptureReplay.h"
#include "log/LogLine.h"
#include "node/Component.h"

namespace ORQ {

Pump::Pump(Link& link, MessageSystem& ms, MessageManager& mm, Clock clock)
    : link(link),
      ms(ms),
      mm(mm),
      clock(clock),
      sendPosted(false),
      recvBufferSize(0),
      slotSize(0),
      slotSent(0),
      writing(false),
      draining(false),
      drainBudget(0),
      looping(false),
      wakeRequested(false) {
    link.setClient(this);
}

Pump::~Pump() {
    if (link.getWorkerRecvThread() != nullptr || loopThread) {
        stop();
    }
    link.setClient(nullptr);
}

Pump::Started Pump::start() {
    if (link.isRunning()) {
        // Already started: the link says so, and nothing starts twice.
        return link.init() ? Started::yes : Started::linkFailed;
    }
    // Between the main loop's ticks, manager time follows the clock, from
    // before the first read is routed.
    const SteadyClock::time_point begin = SteadyClock::now();
    const bool ownLoop = clock == Clock::own && !link.keepsTime();
    if (ownLoop) mm.followClock(begin);
    if (!link.init()) {
        return Started::linkFailed;
    }
    // A hook posted by the last run, whose context went with it, is not pending.
    sendPosted = false;
    // The I/O thread looked at the queue when it began; what was queued since
    // then is looked at now, and what comes later wakes it.
    ms.getMessageQueue()->setOnQueued([this] { onQueued(); });
    kickSend();
    if (!ownLoop) {
        return Started::yes;
    }
    try {
        std::lock_guard<std::mutex> lock(loopMutex);
        looping = true;
        loopThread.reset(new std::thread(&Pump::mainloop, this, begin));
    } catch (...) {
        std::lock_guard<std::mutex> lock(loopMutex);
        looping = false;
        loopThread.reset();
        logLine("[DLL] error init workerThread, shutdown!!!");
        return Started::clockFailed;
    }
    return Started::yes;
}

void Pump::stop() {
    // The link stops first: no message is routed once the loop is gone.
    link.deinit();
    {
        // A frame the I/O thread was writing is lost with it.
        std::lock_guard<std::mutex> lock(slotMutex);
        writing = false;
        draining = false;
    }
    {
        std::lock_guard<std::mutex> lock(loopMutex);
        looping = false;
    }
    loopWake.notify_all();
    if (loopThread) {
        logLine("[DLL] deinit() join workerThread...");
        loopThread->join();
        loopThread.reset();
        logLine("[DLL] deinit() joined!");
    }
}

std::thread* Pump::clockThread() const {
    if (clock != Clock::own) return nullptr;
    // A replay's I/O thread is the main loop: it gives the manager its ticks
    // at the capture's times, in order with the bytes it hands over.
    return link.keepsTime() ? link.getWorkerRecvThread() : loopThread.get();
}

// Manager time is the ms since `begin` on a monotonic clock, so a change of
// the wall clock never moves it; it wraps after 2^32 ms. The loop ticks when
// the manager says the next thing is due, or at once when woken.
void Pump::mainloop(SteadyClock::time_point begin) {
    std::unique_lock<std::mutex> lock(loopMutex);
    while (looping) {
        lock.unlock();
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - begin);
        const uint32_t due = mm.run(static_cast<uint32_t>(elapsed.count()));
        lock.lock();
        const auto woken = [this] { return wakeRequested || !looping; };
        if (due == Component::nothingDue) {
            loopWake.wait(lock, woken);
        } else {
            // The tick ran at `elapsed`; the next one is due that much later.
            loopWake.wait_until(lock, begin + elapsed + std::chrono::milliseconds(due), woken);
        }
        wakeRequested = false;
    }
}

void Pump::wake() {
    {
        std::lock_guard<std::mutex> lock(loopMutex);
        wakeRequested = true;
    }
    loopWake.notify_all();
}

// --- Receiving --------------------------------------------------------------

void Pump::linkRead(const uint8_t* bytes, std::size_t n) {
    CaptureControl::process().record(CaptureWriter::RECEIVED, bytes, n);
    // Every report of this read is stamped with the time it was read.
    const MessageManager::ReceiveBatch batch(mm);
    procReceivedBytes(bytes, n);
}

void Pump::linkReopened() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        recvBufferSize.store(0, std::memory_order_relaxed);
    }
    sendNext();
}

uint32_t Pump::linkTime(uint64_t micros) {
    if (clock != Clock::own) return Component::nothingDue;
    return mm.run(CaptureReplay::managerTime(micros));
}

void Pump::linkEnded() {
    ms.markLinkEnded();
}

void Pump::procReceivedBytes(const uint8_t* bytes, std::size_t n) {
    // The link is the message system's: the bytes it reads are the link's
    // received bytes, which the host reads as a statistic.
    ms.countReceivedBytes(static_cast<uint32_t>(n));
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
            decoded = ms.receiveFrame(bytes + i, runEnd - i, m);
        } else {
            decoded = gather(bytes + i, runEnd - i, end != nullptr, m);
        }
        i = runEnd;
        // One message per end byte, routed before the bytes after it are
        // looked at.
        if (decoded) {
            mm.procMessage(&m, &ms);
        }
    }
}

bool Pump::gather(const uint8_t* bytes, std::size_t n, bool endsFrame, Message& m) {
    unsigned dropped = 0;
    uint8_t frame[MessageSystem::receiveBufferSize];
    std::size_t frameSize = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
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
    return endsFrame && ms.receiveFrame(frame, frameSize, m);
}

uint8_t Pump::newData() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<uint8_t>(std::min<uint16_t>(recvBufferSize.load(std::memory_order_relaxed), 250));
}

uint8_t Pump::receive(uint8_t* buffer, uint8_t maxBufferSize) {
    if (buffer == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(mutex);
    const uint16_t size = recvBufferSize.load(std::memory_order_relaxed);
    const uint16_t n = std::min<uint16_t>(size, maxBufferSize);
    std::memcpy(buffer, recvBuffer, n);
    std::memmove(recvBuffer, recvBuffer + n, size - n);
    recvBufferSize.store(static_cast<uint16_t>(size - n), std::memory_order_relaxed);
    return static_cast<uint8_t>(n);
}

// --- Writing ----------------------------------------------------------------

uint8_t Pump::send(uint8_t* buffer, uint8_t bufferSize) {
    if (link.getIsOpen() != 1) {
        logLine("[UartSerial] ERROR in send() not open!");
        link.countError();
        return ERROR_EXCEPTION;
    }
    if ((buffer == nullptr && bufferSize != 0) || !claimSlot()) {
        logLine("[UartSerial] ERROR in send()");
        link.countError();
        return ERROR_EXCEPTION;
    }
    if (bufferSize != 0) std::memcpy(slot, buffer, bufferSize);
    if (link.getWorkerRecvThread() != nullptr) {
        handOver(bufferSize);
        return ERROR_NO;
    }
    // No I/O thread runs: the caller does this one write.
    const boost::system::error_code result = link.writeWithoutThread(slot, bufferSize);
    freeSlot();
    if (result) {
        logLine("[UartSerial] ERROR in send()");
        link.countError();
        return ERROR_EXCEPTION;
    }
    return ERROR_NO;
}

void Pump::linkStopping() {
    // The send side ends first, with the lines it always had: what was
    // queued before the stop goes out (while the link is up, for at most
    // deliverMs), then the queue no longer wakes the I/O thread.
    logLine("[UartSerial] deinit(): join SendThread...");
    MessageQueue* queue = ms.getMessageQueue();
    std::unique_lock<std::mutex> lock(slotMutex);
    draining = true;
    drainBudget = queue->getElementCount();
    drainDeadline = SteadyClock::now() + std::chrono::milliseconds(deliverMs);
    lock.unlock();
    kickSend();
    lock.lock();
    while (link.canSend() && SteadyClock::now() < drainDeadline &&
           (writing || (drainBudget > 0 && queue->getElementCount() > 0))) {
        slotChanged.wait_for(lock, std::chrono::milliseconds(5));
    }
    lock.unlock();
    queue->setOnQueued(nullptr);
    logLine("[UartSerial] deinit(): joined!");
}

bool Pump::claimSlot() {
    std::lock_guard<std::mutex> lock(slotMutex);
    if (writing) {
        return false;
    }
    writing = true;
    return true;
}

void Pump::freeSlot() {
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        writing = false;
    }
    slotChanged.notify_all();
}

void Pump::handOver(uint16_t size) {
    slotSize = size;
    slotSent = 0;
    link.post([this] { startWrite(); });
}

void Pump::kickSend() {
    if (!sendPosted.exchange(true)) {
        link.post([this] {
            sendPosted = false;
            sendNext();
        });
    }
}

void Pump::linkChanged() {
    sendNext();
}

void Pump::sendNext() {
    if (!link.isRunning()) {
        return;
    }
    MessageQueue* queue = ms.getMessageQueue();
    {
        std::unique_lock<std::mutex> lock(slotMutex);
        if (writing) {
            return;  // the end of the write comes back here
        }
        if (!link.canSend()) {
            lock.unlock();
            // Messages wait for the link, but not beyond the hold time.
            ms.dropStale(holdMs);
            if (queue->getElementCount() > 0) {
                link.pollAfter(stalePollMs);
            }
            return;
        }
        if (draining && (drainBudget == 0 || SteadyClock::now() >= drainDeadline)) {
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
        std::lock_guard<std::mutex> lock(slotMutex);
        if (draining && drainBudget > 0) --drainBudget;
    }
    slotSize = size;
    slotSent = 0;
    startWrite();
}

uint8_t Pump::frameNext() {
    // Stale messages go before any is framed: the link may just have come
    // back after a long outage.
    ms.dropStale(holdMs);
    MessageQueue* queue = ms.getMessageQueue();
    uint8_t size = 0;
    for (;;) {
        const uint8_t queued = queue->getElementCount();
        if (queued != 0) {
            size = ms.getNextSendData(slot, slotMax);
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

void Pump::onQueued() {
    {
        std::unique_lock<std::mutex> lock(slotMutex);
        if (writing) {
            // The holder looks at the queue once its write ended, after this
            // message was queued.
            return;
        }
        if (!link.canSend() || draining) {
            // The I/O thread keeps the stale look and the drain's count.
            lock.unlock();
            kickSend();
            return;
        }
        writing = true;
    }
    const uint8_t size = frameNext();
    if (size == 0) {
        endHostWrite(false);
        return;
    }
    slotSize = size;
    boost::system::error_code ec;
    slotSent = static_cast<uint16_t>(link.writeFromHost(slot, size, ec));
    if (slotSent != 0 || ec) {
        CaptureControl::process().record(CaptureWriter::WRITTEN, slot, size);
    }
    if (!ec && slotSent < size) {
        // The rest waits for the descriptor on the I/O thread, which holds
        // the role from here.
        endHostWrite(true);
        link.post([this] { startWrite(); });
        return;
    }
    endHostWrite(false);
    if (ec) {
        logLine("[UartSerial] ERROR in workerSend()");
        link.countError();
    }
    // Messages queued while the role was held were left to this thread: the
    // I/O thread takes them, so a set does not wait for others' frames.
    if (ms.getMessageQueue()->getElementCount() != 0) {
        kickSend();
    }
}

void Pump::endHostWrite(bool handedOver) {
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        writing = handedOver;
    }
    slotChanged.notify_all();
}

void Pump::startWrite() {
    if (!link.canSend()) {
        // The link went down after the frame was framed: it is lost.
        link.countError();
        freeSlot();
        sendNext();
        return;
    }
    if (slotSent == 0) {
        CaptureControl::process().record(CaptureWriter::WRITTEN, slot, slotSize);
    }
    link.write(slot + slotSent, slotSize - slotSent,
               [this](const boost::system::error_code& ec, std::size_t) { onWritten(ec); });
}

void Pump::onWritten(const boost::system::error_code& ec) {
    if (ec && link.isRunning()) {
        logLine("[UartSerial] ERROR in workerSend()");
        link.countError();
    }
    freeSlot();
    sendNext();
}

}  // namespace ORQ
