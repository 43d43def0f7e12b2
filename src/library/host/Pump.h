#pragma once
// Joins a link to the core: what the link reads is decoded and routed, what
// the message system queues is framed and written to the link, and the
// manager is given its time. One pump serves one link for its whole life.
//
// Receiving: at every end byte the message system decodes the frame it
// closes, and the message is routed (MessageManager::procMessage) before any
// later byte is looked at; bytes after the last end byte are gathered for the
// next read (and for receive()). A frame read whole is decoded where it lies,
// with no copy, lock or allocation, and every report of one read is stamped
// with one reading of the clock (MessageManager::ReceiveBatch): the clock was
// the largest cost of a report under a flood (about 26 ns a reading); so a
// report takes 444 instructions (the lean yardstick 388) and allocates
// nothing (docs/performance.md).
//
// Writing: one frame slot, and one writer at a time, the holder of the write
// role (`writing`). The queue's hook (MessageQueue::setOnQueued) runs on the
// thread that queued a message. When the link can send, is not stopping and
// nobody holds the role, that thread takes it, frames the queue's head into
// the slot, removes it from the queue and writes it to the link itself,
// without waiting (Link::writeFromHost): a set reaches the pty from the
// host's thread in one non-blocking write, its last byte readable 53.6 us
// after setData at p50, 1.05 x a direct write of the same frame
// (docs/performance.md). What the link does not take at once is handed to
// the I/O thread with the role (one hand-off); so is the
// next queued message. When the role is held, the hook does nothing: its
// holder looks at the queue again once its write ended. When the link cannot
// send or is stopping, the hook wakes the I/O thread, which keeps the stale
// look and the drain, and frames and writes itself. The role passes from
// holder to holder under slotMutex, so frames leave in the queue's order and
// the capture records them in that order. Past the queue the pump holds at
// most this one frame, so messages wait in the queue, where a newer value
// still refreshes them, and the head being framed is taken (MessageQueue): a
// refresh never touches it.
//
// While the link cannot send (device gone, connection closed, no UDP peer
// heard yet) nothing is taken from the queue; whatever has waited there
// longer than holdMs is dropped and counted (MessageSystem::dropStale, looked
// for every stalePollMs while messages wait, and before every frame is
// framed), so a brief outage loses nothing and a long one sends nothing
// stale. When the link stops, the messages queued by then and the frame being
// written reach it (for at most deliverMs, and not at all while it is down).
//
// Every chunk read from or written to the link goes to the process's capture
// switch (CaptureControl::record), in the order it was read or written.
//
// Clock: with Clock::own the pump gives the manager its time: for a live link
// a main-loop thread ticks it on the steady clock when it says the next thing
// is due (or at once when woken); for a link with a clock of its own (a
// replay) the manager's time is the link's, ticked on the I/O thread in order
// with the bytes, and after the link's end the link's marks go on at the wall
// clock's pace. With Clock::none the caller keeps the manager's time.
//
// Threads: the constructor, start(), stop() and the destructor belong to one
// thread, the one that starts and stops the link. The LinkClient calls come
// on the link's I/O thread (linkStopping() on the stopping thread).
// newData(), send(), receive() and wake() may be called from any thread;
// procReceivedBytes() on the I/O thread, or any one thread while the link
// does not run.
//
// Locks: `mutex` guards the gathered bytes, `slotMutex` the write role and
// the drain; both are innermost apart from the queue's own lock. The hook
// runs under the queue's hook lock and takes slotMutex, the queue's lock,
// the capture's lock and the I/O context's own lock, one at a time.
// loopMutex guards the main loop's wake-up.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "link/Link.h"
#include "link/LinkClient.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "wire/Uart.h"

namespace ORQ {

class Pump : public LinkClient, public Uart {
public:
    // How long a queued message may wait for a link that cannot send.
    static constexpr unsigned holdMs = 2000;
    // How long the link's stop lets queued frames reach a far end that reads.
    static constexpr unsigned deliverMs = 200;

    enum class Clock { none, own };
    enum class Started { yes, linkFailed, clockFailed };

    // Becomes the link's client; the link, ms and mm outlive the pump.
    Pump(Link& link, MessageSystem& ms, MessageManager& mm, Clock clock);
    // Stops what still runs.
    ~Pump() override;
    Pump(const Pump&) = delete;
    Pump& operator=(const Pump&) = delete;

    // Starts the link and then the clock. On linkFailed and clockFailed
    // whatever started is still to be stopped with stop().
    Started start();
    // Stops the link (delivering what was queued, see above), then the main
    // loop. Returns promptly in every state.
    void stop();
    // Makes the main loop tick at once (the manager calls it when a component
    // joins or is retired).
    void wake();
    // The thread that gives the manager its ticks while it runs (the link's
    // I/O thread when the link's clock is the manager's), else null.
    std::thread* clockThread() const;

    // Received bytes waiting for receive(), at most 250.
    uint8_t newData() override;
    // Hands the bytes to the link: ERROR_NO, or ERROR_EXCEPTION when it is
    // closed or a frame is already being written.
    uint8_t send(uint8_t* buffer, uint8_t bufferSize) override;
    // Moves up to maxBufferSize received bytes, oldest first; returns how many.
    uint8_t receive(uint8_t* buffer, uint8_t maxBufferSize) override;

    // What is done with the bytes of one read (see above).
    void procReceivedBytes(const uint8_t* bytes, std::size_t n);

    // LinkClient.
    void linkRead(const uint8_t* bytes, std::size_t n) override;
    void linkReopened() override;
    void linkChanged() override;
    uint32_t linkTime(uint64_t micros) override;
    void linkEnded() override;
    void linkStopping() override;

private:
    static constexpr uint16_t recvBufferMax = 1000;
    static constexpr uint16_t slotMax = 255;  // one send() of the Uart contract
    // How often messages waiting for the link are looked at for staleness.
    static constexpr unsigned stalePollMs = 50;

    using SteadyClock = std::chrono::steady_clock;

    // Appends n bytes to the gathered ones (dropping what cannot hold a frame)
    // and, when they end with an end byte, decodes the frame into m: true when
    // m holds a message.
    bool gather(const uint8_t* bytes, std::size_t n, bool endsFrame, Message& m);
    // Claims the slot for a frame; false when a frame is in it.
    bool claimSlot();
    // Posts the frame in the slot to the I/O thread.
    void handOver(uint16_t size);
    // Frames the queue's head into the slot (dropping heads that cannot be
    // framed); its size, 0 when none. Holder of the write role only.
    uint8_t frameNext();
    // I/O thread: writes the slot from slotSent on (recording the frame when
    // none of it was written yet).
    void startWrite();
    void onWritten(const boost::system::error_code& ec);
    void freeSlot();
    // Posts sendNext() unless it is posted already. Any thread.
    void kickSend();
    // The queue's hook, on the thread that queued (see the class comment).
    void onQueued();
    // Ends a host thread's write, and its hold of the write role unless the
    // role is handed over to the I/O thread.
    void endHostWrite(bool handedOver);
    // I/O thread: when the slot is free and frames may go out, drops the stale
    // messages, frames the head into the slot, removes it from the queue and
    // writes it. While frames may not go out, drops the stale messages and,
    // while others wait, comes back after stalePollMs.
    void sendNext();
    // Body of the main-loop thread: manager time is the ms since `begin` on
    // the steady clock.
    void mainloop(SteadyClock::time_point begin);

    Link& link;
    MessageSystem& ms;
    MessageManager& mm;
    const Clock clock;

    std::atomic<bool> sendPosted;  // a sendNext() is posted and has not begun

    // The bytes gathered since the last end byte. Only the I/O thread adds to
    // them; any thread may take them out with receive(). The size is changed
    // under `mutex` and may be read without it by the I/O thread, which is
    // the only one that can make it grow.
    std::mutex mutex;
    uint8_t recvBuffer[recvBufferMax];
    std::atomic<uint16_t> recvBufferSize;

    // The frame slot. `writing` (the write role) is true from the moment a
    // frame is claimed until its write ended; while it is, only the claimant
    // (before the hand-over) or the I/O thread (after it) touches slot,
    // slotSize and slotSent.
    std::mutex slotMutex;
    std::condition_variable slotChanged;  // slot freed
    uint8_t slot[slotMax];
    uint16_t slotSize;
    uint16_t slotSent;  // bytes of the slot already written (and recorded)
    bool writing;
    // Set when the link stops: at most drainBudget more frames are framed,
    // and none after drainDeadline.
    bool draining;
    unsigned drainBudget;
    SteadyClock::time_point drainDeadline;

    // stop() clears `looping` and wake() sets wakeRequested, each under
    // loopMutex and signalling loopWake, so the main loop ends or ticks at
    // once instead of after the rest of its sleep; the loop clears
    // wakeRequested under loopMutex before its tick, so no wake is lost.
    std::mutex loopMutex;
    std::condition_variable loopWake;
    bool looping;
    bool wakeRequested;
    std::unique_ptr<std::thread> loopThread;
};

}  // namespace ORQ
