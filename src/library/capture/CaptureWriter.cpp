#include "capture/CaptureWriter.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ORQ {

namespace {

// The writer moves the ring to the disk at least this often.
const auto writerPeriod = std::chrono::milliseconds(20);
// Records written to the disk in one call, at most (a batch never splits a record).
const std::size_t batchBytes = 64 * 1024;
// Space reserved ahead of the data, so that the file is not grown for every batch.
const uint64_t reserveStep = 256 * 1024;
// After the disk refused a batch, everything is counted lost for this long
// before the disk is tried again (it may have been given room meanwhile).
const auto diskRetryPeriod = std::chrono::seconds(1);

bool writeAll(int fd, const uint8_t* bytes, std::size_t n, uint64_t offset) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, bytes, n, static_cast<off_t>(offset));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        bytes += w;
        n -= static_cast<std::size_t>(w);
        offset += static_cast<uint64_t>(w);
    }
    return true;
}

}  // namespace

std::unique_ptr<CaptureWriter> CaptureWriter::create(const char* path, std::size_t ringSize,
                                                     CaptureFile::Reason* why) {
    CaptureFile::Reason reason;
    int fd = -1;
    bool created = false;
    if (CaptureFile::openForWriting(path, fd, created, why ? *why : reason) != CaptureFile::OPENED) return nullptr;
    return std::unique_ptr<CaptureWriter>(new CaptureWriter(fd, path, created, ringSize));
}

CaptureWriter::CaptureWriter(int fd, const char* path, bool created, std::size_t ringSize)
    : fd(fd),
      filePath(CaptureFormat::textOf(path)),
      identity(CaptureFile::identityOfDescriptor(fd)),
      createdFile(created),
      ring(ringSize < 4096 ? 4096 : ringSize),
      ringHead(0),
      ringTail(0),
      accepting(false),
      producerGapFirst(0),
      dataEnd(0),
      allocatedEnd(0),
      writerGapFirst(0),
      dropped(0),
      stopping(false),
      stopped(false) {}

CaptureWriter::~CaptureWriter() {
    stop();
    if (fd >= 0) ::close(fd);
}

uint64_t CaptureWriter::nowMicros() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - startSteady).count());
}

bool CaptureWriter::start(uint8_t ownID, const char* connection) {
    if (started() || fd < 0) return false;
    CaptureFormat::Header h;
    h.startMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    h.ownID = ownID;
    h.connection = CaptureFormat::textOf(connection);
    const std::vector<uint8_t> bytes = CaptureFormat::encodeHeader(h);
    if (::ftruncate(fd, 0) != 0 || !reserve(bytes.size()) || !writeAll(fd, bytes.data(), bytes.size(), 0)) {
        return false;
    }
    dataEnd = bytes.size();
    {
        std::lock_guard<std::mutex> lock(producerMutex);
        startSteady = std::chrono::steady_clock::now();
        accepting = true;
    }
    writerThread = std::make_unique<std::thread>(&CaptureWriter::writerLoop, this);
    return true;
}

std::size_t CaptureWriter::ringFree() const {
    return ring.size() - static_cast<std::size_t>(ringTail.load(std::memory_order_relaxed) -
                                                  ringHead.load(std::memory_order_acquire));
}

void CaptureWriter::ringPut(uint64_t at, const uint8_t* bytes, std::size_t n) {
    const std::size_t pos = static_cast<std::size_t>(at % ring.size());
    const std::size_t first = std::min(n, ring.size() - pos);
    std::memcpy(&ring[pos], bytes, first);
    std::memcpy(&ring[0], bytes + first, n - first);
}

bool CaptureWriter::pushEntry(uint8_t kind, uint64_t micros, const uint8_t* payload, std::size_t n) {
    // Ring entry: the record's head (kind, time, length) and the payload; the
    // writer adds the check. The tail moves once the whole entry is in, so
    // the writer never sees half an entry. Only producers move the tail.
    if (ringFree() < CaptureFormat::recordHeadSize + n) return false;
    uint8_t head[CaptureFormat::recordHeadSize];
    CaptureFormat::encodeRecordHead(head, kind, micros, static_cast<uint16_t>(n));
    const uint64_t tail = ringTail.load(std::memory_order_relaxed);
    ringPut(tail, head, sizeof head);
    ringPut(tail + sizeof head, payload, n);
    ringTail.store(tail + sizeof head + n, std::memory_order_release);
    return true;
}

void CaptureWriter::noteLoss(CaptureFormat::Gap& gap, uint64_t& first, uint64_t micros, std::size_t n) {
    if (gap.chunks == 0) first = micros;
    ++gap.chunks;
    gap.bytes += static_cast<uint32_t>(n);
    gap.lastMicros = micros;
    dropped.fetch_add(1, std::memory_order_relaxed);
}

void CaptureWriter::record(Direction direction, const uint8_t* bytes, std::size_t n) {
    if (n == 0 || bytes == nullptr) return;
    std::lock_guard<std::mutex> lock(producerMutex);
    if (!accepting) return;
    const uint64_t micros = nowMicros();
    while (n > 0) {
        const std::size_t piece = std::min(n, CaptureFormat::maxPayload);
        // A pending gap goes in first, so that it stands where the chunks were lost.
        bool fits = ringFree() >= 2 * CaptureFormat::recordHeadSize + CaptureFormat::gapPayloadSize + piece;
        if (fits && producerGap.chunks > 0) {
            uint8_t gap[CaptureFormat::gapPayloadSize];
            CaptureFormat::encodeGap(gap, producerGap);
            pushEntry(CaptureFormat::KIND_GAP, producerGapFirst, gap, sizeof gap);
            producerGap = CaptureFormat::Gap();
        }
        if (!fits || !pushEntry(direction, micros, bytes, piece)) {
            noteLoss(producerGap, producerGapFirst, micros, piece);
        }
        bytes += piece;
        n -= piece;
    }
    if (ringFree() < ring.size() / 2) wake.notify_one();
}

void CaptureWriter::stop() {
    if (stopped) return;
    stopped = true;
    {
        std::lock_guard<std::mutex> lock(producerMutex);
        accepting = false;
    }
    if (!writerThread) {
        // Never began: a file made for it goes again, unless the path now names another.
        if (createdFile && identity.sameAs(CaptureFile::identityOf(filePath.data()))) ::unlink(filePath.data());
    } else {
        // The writer reads the producers' last gap after seeing `stopping`.
        stopping.store(true, std::memory_order_release);
        wake.notify_one();
        writerThread->join();
        writerThread.reset();
    }
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void CaptureWriter::writerLoop() {
    while (!stopping.load(std::memory_order_acquire)) {
        if (!drain()) {
            std::unique_lock<std::mutex> lock(wakeMutex);
            wake.wait_for(lock, writerPeriod);
        }
    }
    while (drain()) {
    }
    finish();
}

void CaptureWriter::ringGet(uint64_t at, uint8_t* out, std::size_t n) const {
    const std::size_t pos = static_cast<std::size_t>(at % ring.size());
    const std::size_t first = std::min(n, ring.size() - pos);
    std::memcpy(out, &ring[pos], first);
    std::memcpy(out + first, &ring[0], n - first);
}

bool CaptureWriter::drain() {
    uint64_t head = ringHead.load(std::memory_order_relaxed);
    const uint64_t tail = ringTail.load(std::memory_order_acquire);
    if (head == tail) return false;
    std::vector<uint8_t> batch;
    batch.reserve(batchBytes + CaptureFormat::recordOverhead + CaptureFormat::maxPayload);
    Batch info;
    while (head < tail && batch.size() < batchBytes) {
        uint8_t entry[CaptureFormat::recordHeadSize];
        ringGet(head, entry, sizeof entry);
        const uint8_t kind = entry[0];
        const uint64_t micros = CaptureFormat::get64(entry + 1);
        const uint16_t n = CaptureFormat::get16(entry + 9);
        const std::size_t at = batch.size();
        batch.resize(at + CaptureFormat::recordOverhead + n);
        std::memcpy(&batch[at], entry, sizeof entry);
        ringGet(head + sizeof entry, &batch[at + sizeof entry], n);
        head += sizeof entry + n;
        if (kind == CaptureFormat::KIND_GAP) {
            const CaptureFormat::Gap g = CaptureFormat::decodeGap(&batch[at + sizeof entry]);
            if (writerGap.chunks > 0) {
                // Merges with a gap of our own that still waits for the disk.
                writerGap.chunks += g.chunks;
                writerGap.bytes += g.bytes;
                writerGap.lastMicros = g.lastMicros;
                batch.resize(at);
                continue;
            }
            info.gap.chunks += g.chunks;
            info.gap.bytes += g.bytes;
            info.gap.lastMicros = g.lastMicros;
        } else {
            ++info.chunks;
            info.bytes += n;
        }
        const std::size_t body = CaptureFormat::recordHeadSize + n;
        CaptureFormat::put32(&batch[at + body], CaptureFormat::crc32(&batch[at], body));
        if (at == 0) info.firstMicros = micros;
        info.lastMicros = micros;
    }
    // The ring space is free again once the entries are copied out.
    ringHead.store(head, std::memory_order_release);
    if (!batch.empty()) writeBatch(batch, info);
    return true;
}

void CaptureWriter::appendGap(std::vector<uint8_t>& out, uint64_t firstMicros,
                              const CaptureFormat::Gap& gap) const {
    const std::size_t at = out.size();
    out.resize(at + CaptureFormat::gapRecordSize);
    CaptureFormat::encodeRecordHead(&out[at], CaptureFormat::KIND_GAP, firstMicros,
                                    static_cast<uint16_t>(CaptureFormat::gapPayloadSize));
    CaptureFormat::encodeGap(&out[at + CaptureFormat::recordHeadSize], gap);
    const std::size_t body = CaptureFormat::recordHeadSize + CaptureFormat::gapPayloadSize;
    CaptureFormat::put32(&out[at + body], CaptureFormat::crc32(&out[at], body));
}

void CaptureWriter::writeBatch(const std::vector<uint8_t>& batch, const Batch& info) {
    std::vector<uint8_t> gapRecord;
    if (writerGap.chunks > 0) appendGap(gapRecord, writerGapFirst, writerGap);
    const uint64_t end = dataEnd + gapRecord.size() + batch.size();
    const auto now = std::chrono::steady_clock::now();
    if (now >= diskRetryAt) {
        if (reserve(end) && writeAll(fd, gapRecord.data(), gapRecord.size(), dataEnd) &&
            writeAll(fd, batch.data(), batch.size(), dataEnd + gapRecord.size())) {
            dataEnd = end;
            writerGap = CaptureFormat::Gap();
            return;
        }
        diskRetryAt = now + diskRetryPeriod;
    }
    // The disk refused: the whole batch becomes part of the gap (a record
    // half written past dataEnd is overwritten later or trimmed at the end).
    if (writerGap.chunks == 0) writerGapFirst = info.firstMicros;
    writerGap.chunks += info.chunks + info.gap.chunks;
    writerGap.bytes += info.bytes + info.gap.bytes;
    writerGap.lastMicros = info.lastMicros;
    dropped.fetch_add(info.chunks, std::memory_order_relaxed);
}

bool CaptureWriter::reserve(uint64_t end) {
    const uint64_t needed = end + CaptureFormat::gapRecordSize;
    if (needed <= allocatedEnd) return true;
    // A generous step first; when the disk has no room for it, exactly what is needed.
    for (const uint64_t target : {needed + reserveStep, needed}) {
        if (::posix_fallocate(fd, static_cast<off_t>(allocatedEnd), static_cast<off_t>(target - allocatedEnd)) == 0) {
            allocatedEnd = target;
            return true;
        }
    }
    return false;
}

void CaptureWriter::finish() {
    // Chunks the producers lost after their last entry that fitted.
    CaptureFormat::Gap last = producerGap;
    const uint64_t lastFirst = producerGapFirst;
    if (last.chunks > 0) {
        if (writerGap.chunks == 0) {
            writerGap = last;
            writerGapFirst = lastFirst;
        } else {
            writerGap.chunks += last.chunks;
            writerGap.bytes += last.bytes;
            writerGap.lastMicros = last.lastMicros;
        }
    }
    if (writerGap.chunks > 0) {
        // Always fits: the reserve beyond dataEnd holds one gap record.
        std::vector<uint8_t> gapRecord;
        appendGap(gapRecord, writerGapFirst, writerGap);
        if (writeAll(fd, gapRecord.data(), gapRecord.size(), dataEnd)) dataEnd += gapRecord.size();
    }
    if (::ftruncate(fd, static_cast<off_t>(dataEnd)) != 0) {
        // The reserve stays as zero bytes after the last record; readers stop there.
    }
}

}  // namespace ORQ
