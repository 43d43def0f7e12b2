#pragma once
// The replay kind of link (replay://PATH[?speed=N]): reads a capture file
// (docs/capture.md) and hands its received bytes to its client as if they
// came from a device; what is written to it goes nowhere. Its clock is the
// capture's: it tells the client every 10 ms of capture time
// (LinkClient::linkTime) and hands each chunk over at its recorded time, in
// the order CaptureReplay gives, so a client that keeps its time by these
// marks goes through the same states at any speed.
//
// speed N paces the replay at N times the recorded pace; 0 goes as fast as
// the machine does, and there a mark the client has nothing to do at is left
// out (CaptureReplay::skipIdleTicks, from what linkTime() answers), so a
// capture whose times jump far ahead costs nothing. Whatever the capture
// holds, the I/O thread looks at the stop flag before every event and lets
// its other handlers run after at most eventsPerTurn events, so deinit()
// never waits for the replay. At the end of the capture the link is down for
// good, like a device unplugged that never comes back: no reconnect, the
// client hears linkEnded(), and the marks go on from the capture's last
// instant at the wall clock's pace.
//
// Threads and locks as in Link; everything of its own runs on the I/O thread
// (or on the starting thread inside the open).
#include <chrono>
#include <memory>
#include <vector>

#include <boost/asio/steady_timer.hpp>

#include "capture/CaptureReplay.h"
#include "link/Link.h"

namespace ORQ {

class ReplayLink : public Link {
public:
    explicit ReplayLink(const ConnectionString& connection);
    ~ReplayLink() override;

    bool keepsTime() const override { return true; }

protected:
    void openLink(const OpenHandler& done) override;
    bool linkIsOpen() const override;
    void readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) override;
    void writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) override;
    void cancelLink() override;
    void closeLink() override;
    void releaseLink() override;
    void onReadFailed() override;

private:
    using Clock = std::chrono::steady_clock;

    // Events handed over in one turn of the I/O thread, at most.
    static constexpr unsigned eventsPerTurn = 64;

    // Hands events over until a read is answered, the next one is not due
    // yet, the link stops or the turn is used up.
    void step();
    // Wall-clock instant at which capture time micros is due.
    Clock::time_point due(uint64_t micros) const;
    // After the end: one mark every 10 ms of wall-clock time.
    void tickAfterEnd();

    std::unique_ptr<CaptureReplay> replay;
    std::unique_ptr<boost::asio::steady_timer> timer;
    Clock::time_point begin;

    CaptureReplay::Event event;  // the next event, once taken
    bool eventTaken;
    std::size_t chunkOffset;  // bytes of a CHUNK event already handed over

    uint8_t* readBuffer;
    std::size_t readSize;
    ReadHandler pendingRead;  // set while a read waits for its chunk

    bool ended;
    uint64_t endMicros;
    Clock::time_point endedAt;
    uint64_t ticksAfterEnd;
};

}  // namespace ORQ
