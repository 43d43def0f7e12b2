#pragma once
// Where every diagnostic line of the library goes: standard output (fd 1),
// without ever making the caller wait for it.
//
// A line is written at once when nothing is waiting before it and fd 1 can
// take it now; otherwise it waits in a bounded buffer (64 KiB) that a writer
// thread empties as fd 1 takes it. A line that finds the buffer full is
// dropped and counted; the next line that fits is preceded by
// "[Log] N lines dropped". A line put as frequent (one the link's traffic can
// repeat at any rate, such as one per damaged frame) is written at most 3
// times per second; the copies beyond that are counted, and when the second
// is over the line is written once more followed by " (N more)", N being the
// copies that were not written. Other lines (those of the host's own calls)
// are all written. Lines keep their order.
//
// The writer thread is started when a line has to wait (or a repeat is
// counted) and ends when it has nothing left to do; a writer that is still
// running (fd 1 blocked) is stopped and joined when the library is unloaded
// or the process ends, dropping what it could not write. The process's sink
// itself is never destroyed, so a thread that logs while the process ends
// still finds it (its lines are then written only if fd 1 takes them at once).
//
// Threads: put() and flush() from any thread. `mutex` guards everything but
// the writing itself, and is never held while waiting for fd 1. It is
// innermost: lines are logged under every other lock of the library, and no
// other lock is taken while it is held.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace ORQ {

class LogSink {
public:
    static constexpr std::size_t lineMax = 2048;  // longer lines are cut
    static constexpr std::size_t bufferSize = 64 * 1024;
    static constexpr unsigned repeatsPerSecond = 3;

    LogSink();
    ~LogSink();  // stop()
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // The sink of the process (of the library's copy of this code).
    static LogSink& instance();

    // One line, without its newline; `frequent`: subject to the repeat limit.
    void put(const char* text, std::size_t length, bool frequent);
    // Waits until every line accepted so far is written, or `limit` passed.
    // For readers of fd 1 that want to see what was logged before a point.
    void flush(std::chrono::milliseconds limit);
    // Stops the writer (it gives up on fd 1 within a few ms) and joins it;
    // no writer is started afterwards.
    void stop();

private:
    using Clock = std::chrono::steady_clock;

    // A line seen recently, for counting its repeats.
    struct Recent {
        uint64_t hash;
        Clock::time_point windowStart;
        unsigned written;     // copies written in the window
        unsigned suppressed;  // copies not written in the window
        uint16_t length;
        char text[160];  // for the summary line; longer lines are never summarised
    };
    static constexpr std::size_t recentMax = 16;

    // All with `mutex` held.
    bool admitRepeat(const char* text, std::size_t length, Clock::time_point now);
    void summarise(Recent& r);
    void summariseExpired(Clock::time_point now);
    bool hasPendingSummary() const;
    Clock::time_point nextSummaryDue() const;
    void emit(const char* text, std::size_t length);  // newline added
    // Queues "[Log] N lines dropped" if it fits with `reserve` bytes to
    // spare; false (count kept) when it does not.
    bool noteDropped(std::size_t reserve);
    bool enqueue(const char* text, std::size_t length);
    void startWriter();
    std::size_t frontLength() const;
    void copyOut(std::size_t from, char* to, std::size_t count) const;
    void popFront();

    void writerLoop();

    std::mutex mutex;
    std::condition_variable wake;     // lines queued, a summary due, or stopping
    std::condition_variable drained;  // the buffer became empty
    char ring[bufferSize];            // [2-byte length][line with newline] ...
    std::size_t head;                 // first byte of the oldest entry
    std::size_t used;                 // bytes in use
    bool writing;                     // the writer is writing the front entry
    bool writerRunning;
    std::atomic<bool> stopping;  // also read by the writer while it writes
    uint64_t dropped;
    Recent recent[recentMax];
    std::size_t recentCount;
    std::unique_ptr<std::thread> writer;
};

}  // namespace ORQ
