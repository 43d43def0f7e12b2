// Fuzz target: a capture file, whatever its bytes, read and replayed.
//
// Input: the file's bytes (the corpus seeds are real captures, cut, damaged
// or with records a writer never makes: empty, far in the future, at the
// largest time, out of order).
// Checked: the reader hands out only whole records of known kinds and ends
// in a state that says why; a replay hands over exactly the non-empty
// received chunks, in order, with ticks on the 10 ms grid that only go
// forward, whatever the times in the file, driving a real manager that may
// leave idle ticks out as a replay as fast as possible does; END stays.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/CaptureReader.h"
#include "capture/CaptureReplay.h"
#include "datamaps/DeviceModelFactory.h"
#include "FuzzTargets.h"
#include "wire/Message.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

using ORQ::CaptureFormat;
using ORQ::CaptureReader;
using ORQ::CaptureReplay;

namespace {

// Events of one replay looked at, at most: a capture of a few kB may hold
// hours of ticks while its sender keeps work due.
const int maxEvents = 20000;

// The bytes as a regular file only this process sees.
class MemoryFile {
public:
    MemoryFile(const uint8_t* data, size_t size) : fd(memfd_create("capture", MFD_CLOEXEC)) {
        ORQ_FUZZ_CHECK(fd >= 0);
        for (size_t done = 0; done < size;) {
            const ssize_t w = write(fd, data + done, size - done);
            ORQ_FUZZ_CHECK(w > 0);
            done += static_cast<size_t>(w);
        }
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    ~MemoryFile() { close(fd); }
    const int fd;
    char path[48];
};

// Every non-empty received chunk, checking the reader on the way.
std::vector<std::vector<uint8_t>> receivedChunks(const char* path) {
    std::vector<std::vector<uint8_t>> chunks;
    CaptureReader reader(path);
    CaptureReader::Record r;
    while (reader.next(r)) {
        ORQ_FUZZ_CHECK(reader.ok());
        ORQ_FUZZ_CHECK(r.kind == CaptureFormat::KIND_RECEIVED || r.kind == CaptureFormat::KIND_WRITTEN ||
                       r.kind == CaptureFormat::KIND_GAP);
        ORQ_FUZZ_CHECK(r.kind != CaptureFormat::KIND_GAP || r.bytes.size() == CaptureFormat::gapPayloadSize);
        if (r.kind == CaptureFormat::KIND_RECEIVED && !r.bytes.empty()) chunks.push_back(r.bytes);
    }
    ORQ_FUZZ_CHECK(reader.end() != CaptureReader::End::NOT_YET);
    ORQ_FUZZ_CHECK((reader.end() == CaptureReader::End::CLEAN) == (*reader.error() == '\0'));
    ORQ_FUZZ_CHECK(reader.ok() || chunks.empty());
    ORQ_FUZZ_CHECK(!reader.next(r));
    return chunks;
}

// The bytes of a chunk as the link hands them to the library.
void deliver(ORQ::MessageSystem& ms, ORQ::MessageManager& mm, const std::vector<uint8_t>& bytes) {
    for (size_t at = 0; at < bytes.size(); at += ORQ::MessageSystem::receiveBufferSize) {
        const size_t n = std::min<size_t>(bytes.size() - at, ORQ::MessageSystem::receiveBufferSize);
        ms.procNewData(bytes.data() + at, static_cast<uint8_t>(n));
        while (std::unique_ptr<ORQ::Message> m{ms.getNewMessage()}) mm.procMessage(m.get(), &ms);
    }
    while (ms.getMessageQueue()->getElementCount() > 0) ms.getMessageQueue()->deleteFirst();
}

}  // namespace

int orqFuzzOneCaptureFile(const uint8_t* data, size_t size) {
    const MemoryFile file(data, size);
    const std::vector<std::vector<uint8_t>> chunks = receivedChunks(file.path);

    ORQ::MessageSystem ms;
    std::unique_ptr<ORQ::MessageManager> mm(new ORQ::MessageManager());
    mm->setObserve(1);
    mm->setAutoAddNewComponents(1);
    mm->setComponentFactory(&ORQ::makeDeviceModel);
    mm->addMessageSystem(&ms);
    mm->setMyID(1);
    CaptureReplay replay(file.path);
    size_t handed = 0;
    bool ticked = false;
    uint64_t lastTick = 0;
    for (int i = 0; i < maxEvents; ++i) {
        const CaptureReplay::Event e = replay.next();
        if (e.kind == CaptureReplay::Event::END) {
            ORQ_FUZZ_CHECK(handed == chunks.size());
            ORQ_FUZZ_CHECK(replay.next().kind == CaptureReplay::Event::END);
            break;
        }
        if (e.kind == CaptureReplay::Event::TICK) {
            ORQ_FUZZ_CHECK(e.micros % (CaptureReplay::tickMs * 1000) == 0);
            ORQ_FUZZ_CHECK(!ticked || e.micros > lastTick);
            ticked = true;
            lastTick = e.micros;
            replay.skipIdleTicks(e.micros, mm->run(CaptureReplay::managerTime(e.micros)));
            continue;
        }
        ORQ_FUZZ_CHECK(handed < chunks.size() && e.bytes == chunks[handed]);
        ++handed;
        deliver(ms, *mm, e.bytes);
    }
    mm.reset();  // components first: they send through the message system
    return 0;
}
