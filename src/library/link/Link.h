#pragma once
// The library's link to the remote devices, whatever carries the bytes: the
// contract every kind of link (serial device, TCP, UDP) shares. A kind only
// says how its descriptor is opened, configured, read, written and reconnected;
// everything else is here.
//
// Threads: a link has one thread while it runs, the I/O thread (workerRecv).
// It runs the link's Asio I/O context: it owns the descriptor and does every
// read, reconnect and wait on it, and every write but the one described
// next. Each read is cut into frames and every frame is decoded and routed
// (MessageManager::procMessage) on this thread, before the next byte.
//
// Writing: one frame slot, and one writer at a time, the holder of the write
// role (`writing`). The queue's hook (MessageQueue::setOnQueued) runs on the
// thread that queued a message. When the link is up, not draining and nobody
// holds the role, that thread takes it, frames the queue's head into the
// slot, removes it from the queue and writes it to the descriptor itself,
// without waiting (writeNow). What the descriptor does not take at once, or
// all of it for a kind that cannot write that way, is handed to the I/O
// thread with the role (one hand-off); so is the next queued message. The
// queuing call thus returns once its frame is in the descriptor or handed
// on (one non-blocking write). When the role is held, the hook does
// nothing: its holder looks at the queue again once its write ended. When
// the link is down or draining, the hook wakes the I/O thread, which keeps
// the stale look and the drain, and frames and writes itself. The role passes
// from holder to holder under slotMutex, so frames leave in the queue's
// order and the capture records them in that order. Past the queue the link
// holds at most this one frame, so messages wait in the queue, where a newer
// value still refreshes them, and the head being framed is taken
// (MessageQueue): a refresh never touches it.
//
// Descriptor ownership: the I/O thread (or the starting thread while it does
// not run) opens, reads, closes and destroys it. A host thread may only
// write to it, and only while it holds the role with `hostWriting` set,
// which it sets after seeing the link open (isOpen under slotMutex). Whoever
// closes it first clears isOpen under slotMutex and waits for hostWriting to
// clear (reopen), or first removes the hook, which waits for every hook call
// to end (deinit); so the descriptor a host thread writes to is never closed,
// nor its number reused, under it.
//
// While the link is down (device gone, connection closed, no UDP peer heard
// yet) nothing is taken from the queue; whatever has waited there longer than
// holdMs is dropped and counted (MessageSystem::dropStale, looked for every
// stalePollMs while messages wait, and before every frame is framed), so a
// brief outage loses nothing and a long one sends nothing stale. Order is the
// queue's.
//
// The constructor, init(), deinit() and the kinds' synchronous open belong to
// the thread that starts and stops the link (never concurrently with each
// other). newData(), send() and receive() may be called from any thread.
// The I/O context and every descriptor live from init() (or the first open)
// to the end of deinit(): a stopped link holds no OS resource.
//
// Locks: `mutex` guards the received bytes, `slotMutex` the write role, the
// open state seen by writers and hostWriting; both are innermost apart from
// the queue's own lock, which deinit() may take inside slotMutex. The hook
// runs under the queue's hook lock and takes slotMutex, the queue's lock,
// the capture's lock and the I/O context's own lock, one at a time.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "link/ConnectionString.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "wire/Uart.h"

namespace ORQ {

class Link : public Uart {
public:
    // How long a queued message may wait for a link that is down.
    static constexpr unsigned holdMs = 2000;
    // How long deinit() lets queued frames reach a far end that reads.
    static constexpr unsigned deliverMs = 200;

    using ReadHandler = std::function<void(const boost::system::error_code&, std::size_t)>;
    using OpenHandler = std::function<void(bool opened)>;

    // The link the connection string names, not yet started; null for a
    // string that names none.
    static Link* create(const ConnectionString& connection, MessageSystem* ms, MessageManager* mm);

    // readSize: the most bytes one read takes (a whole datagram for UDP).
    Link(const ConnectionString& connection, MessageSystem* ms, MessageManager* mm, std::size_t readSize = 4096);
    // A kind's destructor calls stopForDestruction() first: the kind's
    // descriptor must outlive the threads, and the I/O context (destroyed
    // here) must outlive the descriptor.
    virtual ~Link();

    // Received bytes waiting for receive(), at most 250.
    uint8_t newData() override;
    // Hands the bytes to the link: ERROR_NO, or ERROR_EXCEPTION when it is
    // closed or a frame is already being written.
    uint8_t send(uint8_t* buffer, uint8_t bufferSize) override;
    // Moves up to maxBufferSize received bytes, oldest first; returns how many.
    uint8_t receive(uint8_t* buffer, uint8_t maxBufferSize) override;

    // Opens the link and, if that worked, starts the I/O thread: true when
    // both happened. The result is the open's own, taken before the I/O
    // thread runs: what the far end does next (closing a connection at once,
    // a replay reaching its end) is the I/O thread's to handle and changes
    // isOpen, not this result.
    bool init();
    // Lets the messages queued when it is called and the frame being written
    // reach the link (for at most deliverMs, and not at all while it is down),
    // stops the I/O thread, closes the descriptor and frees the I/O context.
    // Returns promptly in every state.
    void deinit();
    // recvBufferSize, errorCounter and retryCounter to 0.
    void reset();

    // Body of the I/O thread.
    void workerRecv();
    // What the I/O thread does with the bytes of one read: at every end byte
    // the message system decodes the frame it closes, and the message is
    // routed before any later byte is looked at; bytes after the last end
    // byte are gathered for the next read (and for receive()). A frame read
    // whole is decoded where it lies, with no copy, lock or allocation.
    // I/O thread only, or any one thread while the threads are not running.
    void procReceivedBytes(const uint8_t* bytes, std::size_t n);

    uint8_t getIsOpen() const;
    // Whether the link gives the manager its ticks itself (a replay, whose
    // clock is the capture's): the owner then runs no main loop of its own.
    virtual bool drivesManagerClock() const;
    // The I/O thread, or null when it is not running.
    boost::thread* getWorkerRecvThread() const;
    const ConnectionString& connection() const;

protected:
    // --- What a kind of link supplies. Called on the I/O thread, or on the
    // starting thread while the I/O thread is not running.
    //
    // Opens and configures the descriptor on ioContext(), writing the open
    // line and, on failure, its reason; calls done exactly once, possibly
    // before returning.
    virtual void openLink(const OpenHandler& done) = 0;
    virtual bool linkIsOpen() const = 0;
    virtual void readSome(uint8_t* buffer, std::size_t size, const ReadHandler& handler) = 0;
    // Writes all bytes (a datagram for UDP), then calls handler.
    virtual void writeAll(const uint8_t* bytes, std::size_t size, const ReadHandler& handler) = 0;
    // Writes what the descriptor takes at once, without waiting; returns how
    // many bytes it took (0 and no error when it takes none now), or sets ec.
    // Called on a host thread holding the write role while the link is open
    // (see Link); by default nothing is written, and writeAll() does it all.
    virtual std::size_t writeNow(const uint8_t* bytes, std::size_t size, boost::system::error_code& ec);
    // Ends the pending operations; their handlers see an error.
    virtual void cancelLink() = 0;
    // Closes the descriptor (which may be opened again).
    virtual void closeLink() = 0;
    // Destroys the descriptor objects; the I/O context goes right after.
    virtual void releaseLink() = 0;
    // A read failed while running: by default the link reconnects.
    virtual void onReadFailed();
    // Whether the far end is known, so that frames have somewhere to go.
    virtual bool peerKnown() const;

    // --- For the kinds.
    boost::asio::io_context& ioContext();
    // Writes the line "[UartSerial] error while open" and the reason (the
    // system's error text for `error`, or `text` when it is not null).
    void logOpenFailure(int error, const char* text = nullptr);
    // deinit() if the threads still run.
    void stopForDestruction();
    // The link is open (isOpen 1, the failure counters cleared).
    void markOpen();
    // peerKnown() became true: frames may go out. I/O thread.
    void peerLearned();
    void countError();
    // Reconnects with growing waits until open again or stopped.
    void reopen();
    void startRead();

    std::atomic<uint8_t> run;
    std::atomic<uint8_t> isOpen;

private:
    static constexpr uint16_t recvBufferMax = 1000;
    static constexpr uint16_t slotMax = 255;  // one send() of the Uart contract
    // How often messages waiting for the link are looked at for staleness.
    static constexpr unsigned stalePollMs = 50;
    static constexpr unsigned openTimeoutMs = 3000;
    static constexpr unsigned reopenSettleMs = 100;
    static constexpr unsigned reopenFirstWaitMs = 100;
    static constexpr unsigned reopenMaxWaitMs = 2000;

    using Clock = std::chrono::steady_clock;

    void onRead(const boost::system::error_code& ec, std::size_t n);
    // Appends n bytes to the gathered ones (dropping what cannot hold a frame)
    // and, when they end with an end byte, decodes the frame into m: true when
    // m holds a message.
    bool gather(const uint8_t* bytes, std::size_t n, bool endsFrame, Message& m);
    void reopenAttempt();
    void onReopenSettled(const boost::system::error_code& ec);
    void onReopenWaited(const boost::system::error_code& ec);
    void onReopened(bool opened);
    // Frames may go out: open and the far end known.
    bool canSend() const;
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
    // The queue's hook, on the thread that queued: writes the head itself
    // when it can take the write role, else leaves it to the role's holder
    // or the I/O thread (see the class comment).
    void onQueued();
    // Ends a host thread's hold of the descriptor, and of the write role
    // unless the role is handed over to the I/O thread.
    void endHostWrite(bool handedOver);
    // I/O thread: when the slot is free and frames may go out, drops the stale
    // messages, frames the head into the slot, removes it from the queue and
    // writes it. While frames may not go out, drops the stale messages and,
    // while others wait, comes back after stalePollMs.
    void sendNext();
    void shutdown();

    ConnectionString target;
    std::unique_ptr<boost::asio::io_context> io;
    std::unique_ptr<boost::asio::steady_timer> reopenTimer;  // settle and back-off waits
    std::unique_ptr<boost::asio::steady_timer> staleTimer;   // the stale look while the link is down
    bool staleTimerArmed;                                    // I/O thread
    std::atomic<bool> sendPosted;                            // a sendNext() is posted and has not begun
    boost::thread* workerRecvThread;

    // The bytes gathered since the last end byte. Only the I/O thread adds to
    // them; any thread may take them out with receive(). The size is changed
    // under `mutex` and may be read without it by the I/O thread, which is
    // the only one that can make it grow.
    boost::mutex mutex;
    uint8_t recvBuffer[recvBufferMax];
    std::atomic<uint16_t> recvBufferSize;

    // The frame slot. `writing` (the write role) is true from the moment a
    // frame is claimed until its write ended; while it is, only the claimant
    // (before the hand-over) or the I/O thread (after it) touches slot,
    // slotSize and slotSent.
    boost::mutex slotMutex;
    boost::condition_variable slotChanged;  // slot freed, or hostWriting cleared
    uint8_t slot[slotMax];
    uint16_t slotSize;
    uint16_t slotSent;  // bytes of the slot already written (and recorded)
    bool writing;
    bool hostWriting;  // a host thread holding the role may be writing to the descriptor
    // Set by deinit(): at most drainBudget more frames are framed, and none
    // after drainDeadline.
    bool draining;
    unsigned drainBudget;
    Clock::time_point drainDeadline;

    std::vector<uint8_t> readBuffer;  // I/O thread
    unsigned reopenWaitMs;  // I/O thread

    std::atomic<uint8_t> errorCounter;  // failures since the last open; diagnostic only
    std::atomic<uint8_t> retryCounter;  // open attempts since the last open; diagnostic only

protected:
    MessageSystem* ms;
    MessageManager* mm;
};

}  // namespace ORQ
