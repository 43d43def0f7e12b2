#pragma once
// A transport to the remote devices, whatever carries the bytes: the
// contract every kind of link (serial device, TCP, UDP, replay) shares. A
// kind only says how its descriptor is opened, configured, read, written and
// reconnected; the rest of the transport is here. What the link reads goes
// to its client (LinkClient, the library's Pump); the link knows nothing of
// frames, messages, queues or captures.
//
// Threads: a link has one thread while it runs, the I/O thread (workerRecv).
// It runs the link's Asio I/O context: it owns the descriptor and does every
// read, reconnect and wait on it, and every write but writeFromHost(). It
// hands each read to the client before the next read begins.
//
// Descriptor ownership: the I/O thread (or the starting thread while it does
// not run) opens, reads, closes and destroys it. Another thread may only
// write to it with writeFromHost(), which sets hostWriting, then looks that
// the link may send. Whoever closes it first clears isOpen and then waits
// for hostWriting to clear (reopen), or has its client stop every host write
// first (deinit, through linkStopping); so the descriptor a host thread
// writes to is never closed, nor its number reused, under it. Both flags are
// sequentially consistent atomics: either the writer sees the link closed,
// or the closer sees the writer and waits for it.
//
// The constructor, setClient(), init(), deinit() and the kinds' synchronous
// open belong to the thread that starts and stops the link (never
// concurrently with each other). The I/O context and every descriptor live
// from init() (or the first open) to the end of deinit(): a stopped link
// holds no OS resource.
//
// Locks: none of its own; the kinds' descriptor objects are the I/O thread's.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include "link/ConnectionString.h"
#include "link/LinkClient.h"

namespace ORQ {

class Link {
public:
    using ReadHandler = std::function<void(const boost::system::error_code&, std::size_t)>;
    using OpenHandler = std::function<void(bool opened)>;

    // readSize: the most bytes one read takes (a whole datagram for UDP).
    explicit Link(const ConnectionString& connection, std::size_t readSize = 4096);
    // A kind's destructor calls stopForDestruction() first: the kind's
    // descriptor must outlive the thread, and the I/O context (destroyed
    // here) must outlive the descriptor.
    virtual ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The client the link reports to; set before init(), and it outlives
    // the link's run.
    void setClient(LinkClient* client);

    // Opens the link and, if that worked, starts the I/O thread: true when
    // both happened. The result is the open's own, taken before the I/O
    // thread runs: what the far end does next (closing a connection at once,
    // a replay reaching its end) is the I/O thread's to handle and changes
    // isOpen, not this result.
    bool init();
    // Lets the client end its writes (linkStopping), stops the I/O thread,
    // closes the descriptor and frees the I/O context. Returns promptly in
    // every state.
    void deinit();
    // errorCounter and retryCounter to 0.
    void reset();

    // Body of the I/O thread.
    void workerRecv();

    uint8_t getIsOpen() const;
    // The link runs: from init() to deinit(). Any thread.
    bool isRunning() const { return run == 1; }
    // Frames may go out: running, open and the far end known. Any thread.
    bool canSend() const;
    // The I/O thread, or null when it is not running.
    std::thread* getWorkerRecvThread() const;
    const ConnectionString& connection() const;
    // Whether the link has a clock of its own (a replay's is the capture's),
    // which it tells its client through LinkClient::linkTime().
    virtual bool keepsTime() const;
    // A failure of the link; diagnostic only. Any thread.
    void countError();

    // --- Writing.
    //
    // Runs f on the I/O thread. Only while the I/O thread runs (from init()
    // having returned true until linkStopping() returned).
    template <class F>
    void post(F&& f) {
        boost::asio::post(*io, std::forward<F>(f));
    }
    // I/O thread: writes all bytes (a datagram for UDP), then calls handler.
    void write(const uint8_t* bytes, std::size_t size, const ReadHandler& handler);
    // Any thread, one at a time, while the I/O thread runs: writes what the
    // descriptor takes at once, without waiting; returns how many bytes it
    // took, or sets ec. 0 without an error when it takes none now, when the
    // kind cannot write that way, or when frames may not go out.
    std::size_t writeFromHost(const uint8_t* bytes, std::size_t size, boost::system::error_code& ec);
    // While the I/O thread does not run, on the starting thread: writes all
    // bytes, running the I/O context for that write.
    boost::system::error_code writeWithoutThread(const uint8_t* bytes, std::size_t size);
    // I/O thread: calls the client's linkChanged() after ms, unless such a
    // call is waiting already.
    void pollAfter(unsigned ms);

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
    // Called by writeFromHost() on another thread while the link is open (see
    // Link); by default nothing is written, and writeAll() does it all.
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
    LinkClient& client() { return *linkClient; }
    // Writes the line "[UartSerial] error while open" and the reason (the
    // system's error text for `error`, or `text` when it is not null).
    void logOpenFailure(int error, const char* text = nullptr);
    // Writes the open line and resolves the connection's host and port (see
    // ConnectionString::resolve); false, after the failure lines, when they
    // give no address.
    bool openAddresses(bool datagram, bool passive, std::vector<ConnectionString::Address>& out);
    // deinit() if the thread still runs.
    void stopForDestruction();
    // The link is open (isOpen 1, the failure counters cleared).
    void markOpen();
    // peerKnown() became true: frames may go out. I/O thread.
    void peerLearned();
    // After peerKnown() became false (or isOpen was cleared): returns once no
    // host thread writes to the descriptor any more, which may then be
    // closed. I/O thread.
    void waitForHostWrite() const;
    // Reconnects with growing waits until open again or stopped.
    void reopen();
    void startRead();

    std::atomic<uint8_t> run;
    std::atomic<uint8_t> isOpen;

private:
    static constexpr unsigned openTimeoutMs = 3000;
    static constexpr unsigned reopenSettleMs = 100;
    static constexpr unsigned reopenFirstWaitMs = 100;
    static constexpr unsigned reopenMaxWaitMs = 2000;

    void onRead(const boost::system::error_code& ec, std::size_t n);
    void reopenAttempt();
    void onReopenSettled(const boost::system::error_code& ec);
    void onReopenWaited(const boost::system::error_code& ec);
    void onReopened(bool opened);
    void shutdown();

    ConnectionString target;
    LinkClient* linkClient;
    std::unique_ptr<boost::asio::io_context> io;
    std::unique_ptr<boost::asio::steady_timer> reopenTimer;  // settle and back-off waits
    std::unique_ptr<boost::asio::steady_timer> pollTimer;    // pollAfter()
    bool pollArmed;                                          // I/O thread
    std::unique_ptr<std::thread> workerRecvThread;
    std::atomic<bool> hostWriting;  // a host thread may be writing to the descriptor

    std::vector<uint8_t> readBuffer;  // I/O thread
    unsigned reopenWaitMs;            // I/O thread

    std::atomic<uint8_t> errorCounter;  // failures since the last open; diagnostic only
    std::atomic<uint8_t> retryCounter;  // open attempts since the last open; diagnostic only
};

}  // namespace ORQ
