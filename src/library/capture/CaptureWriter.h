#pragma once
// Records the bytes of a link into a capture file (docs/capture.md) without
// ever holding up the link.
//
// The file is opened when the writer is made (a regular file only, created
// when missing, never truncated then: it may still be wanted, as the file a
// replay reads) and emptied when recording begins (start). A writer stopped
// before it began leaves a file it created nowhere (removed), and a file it
// found as it was.
//
// Recording: record() copies a chunk into a bounded ring and
// returns; a writer thread of its own moves the ring to the disk. When the
// ring is full (the disk is slow) or the disk refuses to grow the file (full,
// or a file size limit), chunks are dropped and counted, and the capture
// says so in a gap record placed where they were lost. After a refusal the
// disk is tried again a second later, not at every batch.
//
// The file always has room for one more gap record beyond its last record
// (space reserved with fallocate), so a capture that lost its tail still ends
// with the gap record that says so. stop() trims the reserve away; a capture
// cut short by a crash keeps it as zero bytes after its last whole record.
//
// Threads: create, start and stop belong to one controlling thread. record()
// may be called from any thread (the link's I/O thread, in practice); callers
// of record() serialise on producerMutex, which the writer thread never takes
// and which is held only to copy a chunk. The ring is single-producer (under
// producerMutex) / single-consumer (the writer thread), synchronised by the
// two atomic positions.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/CaptureFile.h"
#include "capture/CaptureFormat.h"

namespace ORQ {

class CaptureWriter {
public:
    enum Direction : uint8_t {
        RECEIVED = CaptureFormat::KIND_RECEIVED,
        WRITTEN = CaptureFormat::KIND_WRITTEN,
    };

    static constexpr std::size_t defaultRingSize = 1 << 20;

    // Opens the regular file at path, creating it when missing; null (with
    // why, when given) when it cannot be opened or is no regular file.
    // Nothing is written or truncated before start().
    static std::unique_ptr<CaptureWriter> create(const char* path, std::size_t ringSize = defaultRingSize,
                                                 CaptureFile::Reason* why = nullptr);
    ~CaptureWriter();  // stop()
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Empties the file, writes the header (the start time is now) and starts
    // the writer thread; false when the header cannot be written. Chunks
    // recorded before it are ignored. Once per writer.
    bool start(uint8_t ownID, const char* connection);
    // Queues one chunk; never waits for the disk. After stop() it does nothing.
    void record(Direction direction, const uint8_t* bytes, std::size_t n);
    // Writes what the ring holds, then the gap record of any chunk still
    // missing, trims the reserve and closes the file; before start(), removes
    // the file if this writer created it. Idempotent.
    void stop();

    const char* path() const { return filePath.data(); }
    // The file the writer holds (known from create on).
    const CaptureFile::Identity& file() const { return identity; }
    bool started() const { return writerThread != nullptr || stopped; }
    // Chunks lost so far (ring full, or the disk refused them).
    uint64_t droppedChunks() const { return dropped.load(std::memory_order_relaxed); }

private:
    CaptureWriter(int fd, const char* path, bool created, std::size_t ringSize);

    uint64_t nowMicros() const;
    // Producer side, producerMutex held.
    std::size_t ringFree() const;
    void ringPut(uint64_t at, const uint8_t* bytes, std::size_t n);
    bool pushEntry(uint8_t kind, uint64_t micros, const uint8_t* payload, std::size_t n);
    void noteLoss(CaptureFormat::Gap& gap, uint64_t& first, uint64_t micros, std::size_t n);

    // What one batch of records carries, for counting it lost.
    struct Batch {
        uint32_t chunks = 0;  // received and written chunks
        uint32_t bytes = 0;
        CaptureFormat::Gap gap;  // gaps the producers recorded
        uint64_t firstMicros = 0;
        uint64_t lastMicros = 0;
    };

    // Writer thread.
    void writerLoop();
    // Moves every whole entry of the ring to the file; returns whether there was any.
    bool drain();
    void ringGet(uint64_t at, uint8_t* out, std::size_t n) const;
    // Appends the encoded records in batch to the file, or counts them lost.
    void writeBatch(const std::vector<uint8_t>& batch, const Batch& info);
    void appendGap(std::vector<uint8_t>& out, uint64_t firstMicros, const CaptureFormat::Gap& gap) const;
    // Makes the file's allocated space reach `end` plus a gap record.
    bool reserve(uint64_t end);
    void finish();

    int fd;  // owned; closed by finish() or the destructor
    const std::vector<char> filePath;  // NUL-terminated
    const CaptureFile::Identity identity;
    const bool createdFile;  // the file did not exist before create()
    std::chrono::steady_clock::time_point startSteady;

    std::vector<uint8_t> ring;
    std::atomic<uint64_t> ringHead;  // next byte the writer reads
    std::atomic<uint64_t> ringTail;  // next byte a producer writes

    // Guards accepting, startSteady, producerGap, producerGapFirst. Taken by
    // record(), start() and stop(); never by the writer thread, which reads
    // the last producerGap only after stop() has shut the producers out.
    std::mutex producerMutex;
    bool accepting;
    CaptureFormat::Gap producerGap;  // chunks lost since the last entry that fitted
    uint64_t producerGapFirst;

    // Writer thread only, except where noted.
    uint64_t dataEnd;      // end of the last whole record in the file
    uint64_t allocatedEnd; // space reserved up to here
    CaptureFormat::Gap writerGap;
    uint64_t writerGapFirst;
    std::chrono::steady_clock::time_point diskRetryAt;  // no write before this

    std::atomic<uint64_t> dropped;
    std::atomic<bool> stopping;
    std::mutex wakeMutex;  // only for waiting on wake
    std::condition_variable wake;
    std::unique_ptr<std::thread> writerThread;
    bool stopped;  // controlling thread only
};

}  // namespace ORQ
