#include "log/LogSink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <poll.h>
#include <unistd.h>

namespace ORQ {

namespace {

const int outFd = 1;
const std::chrono::seconds repeatWindow(1);
// The writer looks at `stopping` at least this often while fd 1 is blocked.
const int writerPollMs = 20;

enum class Output { Ready, Busy, Gone };

// Whether fd 1 takes bytes now. Ready guarantees that a write of up to
// PIPE_BUF bytes does not wait on a pipe (it has a free page); Gone: nobody
// will ever read (closed pipe, bad descriptor).
Output outputState(int timeoutMs) {
    pollfd p{outFd, POLLOUT, 0};
    const int n = ::poll(&p, 1, timeoutMs);
    if (n < 0) return errno == EINTR ? Output::Busy : Output::Gone;
    if (n == 0) return Output::Busy;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return Output::Gone;
    return Output::Ready;
}

// Writes what fd 1 takes without waiting; the bytes written.
std::size_t writeSome(const char* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(outFd, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return done;
}

uint64_t hashOf(const char* text, std::size_t length) {
    uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < length; ++i) {
        h ^= static_cast<unsigned char>(text[i]);
        h *= 1099511628211ull;
    }
    return h;
}

// The process's sink, built in static storage and never destroyed (see the
// header); its writer is stopped when the library is unloaded or the process
// ends.
alignas(LogSink) unsigned char sinkStorage[sizeof(LogSink)];
LogSink* const sink = new (sinkStorage) LogSink();

struct WriterStop {
    ~WriterStop() { sink->stop(); }
} writerStop;

}  // namespace

LogSink::LogSink()
    : head(0), used(0), writing(false), writerRunning(false), stopping(false), dropped(0), recentCount(0) {}

LogSink::~LogSink() { stop(); }

void LogSink::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (writer) writer->join();
    writer.reset();
}

LogSink& LogSink::instance() { return *sink; }

void LogSink::put(const char* text, std::size_t length, bool frequent) {
    if (length > lineMax) length = lineMax;
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    summariseExpired(now);
    if (frequent && !admitRepeat(text, length, now)) return;
    emit(text, length);
}

void LogSink::flush(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex);
    drained.wait_for(lock, limit, [this] { return used == 0 && !writing; });
}

bool LogSink::admitRepeat(const char* text, std::size_t length, Clock::time_point now) {
    const uint64_t h = hashOf(text, length);
    for (std::size_t i = 0; i < recentCount; ++i) {
        Recent& r = recent[i];
        if (r.hash != h) continue;
        if (now - r.windowStart >= repeatWindow) {
            // summariseExpired has written the summary of the last window.
            r.windowStart = now;
            r.written = 0;
        }
        if (r.written < repeatsPerSecond) {
            ++r.written;
            return true;
        }
        if (r.length == 0) return true;  // too long to summarise: never held back
        ++r.suppressed;
        startWriter();  // to write the summary when the second is over
        return false;
    }
    // A new line takes the place of the one seen longest ago.
    std::size_t slot = recentCount;
    if (recentCount < recentMax) {
        ++recentCount;
    } else {
        slot = 0;
        for (std::size_t i = 1; i < recentCount; ++i) {
            if (recent[i].windowStart < recent[slot].windowStart) slot = i;
        }
        summarise(recent[slot]);
    }
    Recent& r = recent[slot];
    r.hash = h;
    r.windowStart = now;
    r.written = 1;
    r.suppressed = 0;
    r.length = length < sizeof(r.text) ? static_cast<uint16_t>(length) : 0;
    std::memcpy(r.text, text, r.length);
    return true;
}

void LogSink::summarise(Recent& r) {
    if (r.suppressed == 0) return;
    char line[sizeof(r.text) + 32];
    const int n = std::snprintf(line, sizeof(line), "%.*s (%u more)", static_cast<int>(r.length), r.text, r.suppressed);
    r.suppressed = 0;
    if (n > 0) emit(line, static_cast<std::size_t>(n) < sizeof(line) ? static_cast<std::size_t>(n) : sizeof(line) - 1);
}

void LogSink::summariseExpired(Clock::time_point now) {
    for (std::size_t i = 0; i < recentCount; ++i) {
        if (recent[i].suppressed != 0 && now - recent[i].windowStart >= repeatWindow) summarise(recent[i]);
    }
}

bool LogSink::hasPendingSummary() const {
    for (std::size_t i = 0; i < recentCount; ++i) {
        if (recent[i].suppressed != 0) return true;
    }
    return false;
}

LogSink::Clock::time_point LogSink::nextSummaryDue() const {
    Clock::time_point due = Clock::time_point::max();
    for (std::size_t i = 0; i < recentCount; ++i) {
        if (recent[i].suppressed != 0 && recent[i].windowStart + repeatWindow < due) {
            due = recent[i].windowStart + repeatWindow;
        }
    }
    return due;
}

void LogSink::emit(const char* text, std::size_t length) {
    // The line and its newline leave in one write, so that lines written by
    // other code of the process never land inside it.
    char line[lineMax + 1];
    std::memcpy(line, text, length);
    line[length++] = '\n';

    if (dropped != 0) {
        // The note goes before the line; without room for both, the line is
        // dropped too and counted in the note.
        if (!noteDropped(sizeof(uint16_t) + length)) {
            ++dropped;
            return;
        }
        enqueue(line, length);
        return;
    }
    if (used == 0 && !writing) {
        const Output state = outputState(0);
        if (state == Output::Gone) return;  // nobody reads fd 1
        if (state == Output::Ready) {
            const std::size_t done = writeSome(line, length);
            if (done == length) return;
            // Cut short: the rest waits for the writer, in its place.
            enqueue(line + done, length - done);
            return;
        }
    }
    enqueue(line, length);
}

bool LogSink::noteDropped(std::size_t reserve) {
    char note[48];
    const int n = std::snprintf(note, sizeof(note) - 1, "[Log] %llu lines dropped",
                                static_cast<unsigned long long>(dropped));
    const std::size_t length = static_cast<std::size_t>(n) + 1;
    if (used + sizeof(uint16_t) + length + reserve > bufferSize) return false;
    note[n] = '\n';
    dropped = 0;
    return enqueue(note, length);
}

bool LogSink::enqueue(const char* text, std::size_t length) {
    const std::size_t need = sizeof(uint16_t) + length;
    if (used + need > bufferSize) {
        ++dropped;
        return false;
    }
    const uint16_t size = static_cast<uint16_t>(length);
    char header[sizeof(uint16_t)];
    std::memcpy(header, &size, sizeof(size));
    std::size_t at = (head + used) % bufferSize;
    for (const auto& piece : {std::make_pair(static_cast<const char*>(header), sizeof(header)), std::make_pair(text, length)}) {
        for (std::size_t i = 0; i < piece.second;) {
            const std::size_t run = std::min(piece.second - i, bufferSize - at);
            std::memcpy(ring + at, piece.first + i, run);
            i += run;
            at = (at + run) % bufferSize;
        }
    }
    used += need;
    startWriter();
    wake.notify_one();
    return true;
}

void LogSink::startWriter() {
    if (writerRunning || stopping) return;
    // A writer that ended by itself has left its loop; joining it waits for
    // nothing but the return from its thread function.
    if (writer) writer->join();
    writer.reset();
    try {
        writer = std::make_unique<std::thread>(&LogSink::writerLoop, this);
        writerRunning = true;
    } catch (...) {
        // No thread: the lines wait in the buffer until a later line starts one.
    }
}

std::size_t LogSink::frontLength() const {
    uint16_t size = 0;
    char header[sizeof(uint16_t)];
    copyOut(head, header, sizeof(header));
    std::memcpy(&size, header, sizeof(size));
    return size;
}

void LogSink::copyOut(std::size_t from, char* to, std::size_t count) const {
    for (std::size_t i = 0; i < count;) {
        const std::size_t at = (from + i) % bufferSize;
        const std::size_t run = std::min(count - i, bufferSize - at);
        std::memcpy(to + i, ring + at, run);
        i += run;
    }
}

void LogSink::popFront() {
    const std::size_t size = sizeof(uint16_t) + frontLength();
    head = (head + size) % bufferSize;
    used -= size;
    if (used == 0) drained.notify_all();
}

void LogSink::writerLoop() {
    char line[lineMax + 1];
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        summariseExpired(Clock::now());
        if (used == 0) {
            if (stopping || !hasPendingSummary()) break;
            wake.wait_until(lock, nextSummaryDue());
            continue;
        }
        const std::size_t length = frontLength();
        copyOut((head + sizeof(uint16_t)) % bufferSize, line, length);
        writing = true;
        lock.unlock();

        // Only the writer waits for fd 1, in slices, so that a stop is seen.
        std::size_t done = 0;
        bool gone = false;
        while (done < length) {
            const Output state = outputState(writerPollMs);
            if (state == Output::Gone) {
                gone = true;
                break;
            }
            if (state == Output::Ready) {
                const std::size_t n = writeSome(line + done, length - done);
                // Ready but nothing taken: an error (a full disk, say) that
                // waiting does not cure; the line is given up.
                if (n == 0) {
                    gone = true;
                    break;
                }
                done += n;
            }
            if (done < length && stopping) break;
        }

        lock.lock();
        writing = false;
        if (done < length && !gone) {
            // Stopped with fd 1 blocked: what is left is dropped unwritten.
            used = 0;
            drained.notify_all();
            break;
        }
        popFront();
        // Output takes lines again: the count of those it lost goes out in
        // their place, behind the lines queued before them.
        if (dropped != 0) noteDropped(0);
    }
    writerRunning = false;
    drained.notify_all();
}

}  // namespace ORQ
