#include "link/ReplayLink.h"

#include <algorithm>
#include <cstring>

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>

#include "log/LogLine.h"

namespace ORQ {

ReplayLink::ReplayLink(const ConnectionString& connection)
    : Link(connection),
      eventTaken(false),
      chunkOffset(0),
      readBuffer(nullptr),
      readSize(0),
      ended(false),
      endMicros(0),
      ticksAfterEnd(0) {}

ReplayLink::~ReplayLink() {
    stopForDestruction();
}

void ReplayLink::openLink(const OpenHandler& done) {
    logLine("[UartSerial] open \"", connection().text(), "\"");
    // A replay is opened once: at its end it stays down, and it never starts over.
    std::unique_ptr<CaptureReplay> opened(new CaptureReplay(connection().target()));
    if (!opened->ok()) {
        logOpenFailure(0, opened->error());
        done(false);
        return;
    }
    replay = std::move(opened);
    timer.reset(new boost::asio::steady_timer(ioContext()));
    begin = Clock::now();
    done(true);
}

bool ReplayLink::linkIsOpen() const {
    return replay != nullptr && !ended;
}

ReplayLink::Clock::time_point ReplayLink::due(uint64_t micros) const {
    // A wait longer than any run of the program: a later time never comes due,
    // and the clock's arithmetic cannot overflow.
    const double farthest = 1e15;  // microseconds, some 30 years
    const double wait = std::min(static_cast<double>(micros) / connection().speed(), farthest);
    return begin + std::chrono::microseconds(static_cast<int64_t>(wait));
}

void ReplayLink::readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) {
    readBuffer = buffer;
    readSize = size;
    pendingRead = handler;
    step();
}

void ReplayLink::step() {
    const bool paced = connection().speed() > 0;
    for (unsigned handled = 0; run == 1; ++handled) {
        if (handled == eventsPerTurn) {
            // The other handlers of the I/O thread (writes, the stop) get their turn.
            boost::asio::post(ioContext(), [this] { step(); });
            return;
        }
        if (!eventTaken) {
            event = replay->next();
            eventTaken = true;
            chunkOffset = 0;
        }
        if (event.kind == CaptureReplay::Event::END) {
            endMicros = event.micros;
            ReadHandler h = std::move(pendingRead);
            boost::asio::post(ioContext(), [h] { h(boost::asio::error::eof, 0); });
            return;
        }
        if (paced && chunkOffset == 0 && due(event.micros) > Clock::now()) {
            timer->expires_at(due(event.micros));
            timer->async_wait([this](const boost::system::error_code& ec) {
                if (!ec) {
                    step();
                } else if (pendingRead) {
                    ReadHandler h = std::move(pendingRead);
                    h(ec, 0);
                }
            });
            return;
        }
        if (event.kind == CaptureReplay::Event::TICK) {
            eventTaken = false;
            const uint32_t dueMs = client().linkTime(event.micros);
            // As fast as it goes, a tick with nothing to do is left out.
            if (!paced) replay->skipIdleTicks(event.micros, dueMs);
            continue;
        }
        // A chunk larger than the read is handed over in pieces, all at its time.
        const std::size_t n = std::min(readSize, event.bytes.size() - chunkOffset);
        std::memcpy(readBuffer, event.bytes.data() + chunkOffset, n);
        chunkOffset += n;
        if (chunkOffset == event.bytes.size()) eventTaken = false;
        // Posted, not called: the handler starts the next read at once.
        ReadHandler h = std::move(pendingRead);
        boost::asio::post(ioContext(), [h, n] { h(boost::system::error_code(), n); });
        return;
    }
}

void ReplayLink::onReadFailed() {
    if (!replay || ended) return;
    isOpen = 0;
    ended = true;
    client().linkEnded();
    const char* reason = replay->error();
    logLine("[UartSerial] replay ended", *reason ? ": " : "", reason);
    endedAt = Clock::now();
    ticksAfterEnd = 0;
    tickAfterEnd();
}

void ReplayLink::tickAfterEnd() {
    const uint64_t sinceEnd = ticksAfterEnd * CaptureReplay::tickMs * 1000;
    timer->expires_at(endedAt + std::chrono::microseconds(sinceEnd));
    timer->async_wait([this, sinceEnd](const boost::system::error_code& ec) {
        if (ec || run != 1) return;
        client().linkTime(endMicros + sinceEnd);
        ++ticksAfterEnd;
        tickAfterEnd();
    });
}

void ReplayLink::writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) {
    (void)bytes;
    boost::asio::post(ioContext(), [handler, size] { handler(boost::system::error_code(), size); });
}

void ReplayLink::cancelLink() {
    if (timer) timer->cancel();
}

void ReplayLink::closeLink() {
    if (timer) timer->cancel();
}

void ReplayLink::releaseLink() {
    timer.reset();
}

}  // namespace ORQ
