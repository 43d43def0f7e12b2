#include "capture/CaptureControl.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "link/ConnectionString.h"
#include "log/LogLine.h"

namespace ORQ {

CaptureControl& CaptureControl::process() {
    // Built in static storage and never destroyed (it owns no memory while
    // no capture runs, so unloading the library leaks nothing).
    alignas(CaptureControl) static unsigned char storage[sizeof(CaptureControl)];
    static CaptureControl* const control = new (storage) CaptureControl();
    return *control;
}

CaptureControl::CaptureControl() : linkRunning(false), armedByHost(false), ownID(0), connection() {}

std::vector<char> CaptureControl::expandPath(const char* path, std::time_t t) {
    std::tm tm;
    localtime_r(&t, &tm);
    char stamp[32];
    const std::size_t stampSize = std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::vector<char> out;
    for (const char* p = path; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 't') {
            out.insert(out.end(), stamp, stamp + stampSize);
            ++p;
        } else {
            out.push_back(*p);
        }
    }
    out.push_back('\0');
    return out;
}

bool CaptureControl::refusedAsReplayed(const CaptureWriter& w) const {
    if (!replayedFile.sameAs(w.file())) return false;
    logLine("[Capture] refused: ", w.path(), " is the file being replayed");
    return true;
}

bool CaptureControl::start(const char* path) {
    if (path == nullptr) path = "";
    std::lock_guard<std::mutex> lock(controlMutex);
    CaptureFile::Reason why;
    std::shared_ptr<CaptureWriter> next(CaptureWriter::create(path, CaptureWriter::defaultRingSize, &why));
    if (!next) {
        logLine("[DLL] capture: cannot create \"", path, "\": ", why.text);
        return false;
    }
    if (linkRunning && refusedAsReplayed(*next)) return false;
    std::shared_ptr<CaptureWriter> current;
    {
        std::lock_guard<std::mutex> w(writerMutex);
        current = writer;
    }
    if (current && current->file().sameAs(next->file())) {
        // The same file again: a capture waiting for the link goes on waiting
        // in it; a running one ends before its file is begun anew.
        if (!current->started()) {
            logLine("[DLL] capture to \"", path, "\"");
            armedByHost = true;
            return true;
        }
        replace(nullptr);
    }
    if (linkRunning && !next->start(ownID, connection)) {
        logLine("[DLL] capture: cannot write \"", path, "\"");
        return false;
    }
    logLine("[DLL] capture to \"", path, "\"");
    replace(std::move(next));
    armedByHost = true;
    return true;
}

void CaptureControl::stop() {
    std::lock_guard<std::mutex> lock(controlMutex);
    replace(nullptr);
}

bool CaptureControl::linkStarting(uint8_t id, const char* conn) {
    std::lock_guard<std::mutex> lock(controlMutex);
    ownID = id;
    std::snprintf(connection, sizeof connection, "%s", conn ? conn : "");
    const ConnectionString target = ConnectionString::parse(conn);
    const char* replayPath = target.kind() == ConnectionString::Replay ? target.target() : nullptr;
    std::shared_ptr<CaptureWriter> fromEnvironment;
    if (const char* pattern = std::getenv("ORQ_CAPTURE")) {
        if (*pattern != '\0') {
            const std::vector<char> path = expandPath(pattern, std::time(nullptr));
            CaptureFile::Reason why;
            fromEnvironment = CaptureWriter::create(path.data(), CaptureWriter::defaultRingSize, &why);
            if (!fromEnvironment) logLine("[DLL] capture: cannot create \"", path.data(), "\": ", why.text);
        }
    }
    std::shared_ptr<CaptureWriter> armed;
    {
        std::lock_guard<std::mutex> w(writerMutex);
        armed = writer;
    }
    // Looked at once the capture's file exists: a capture that created the
    // replay's path would otherwise be read back by the replay.
    replayedFile = CaptureFile::identityOf(replayPath);
    const std::shared_ptr<CaptureWriter>& chosen = fromEnvironment ? fromEnvironment : armed;
    if (chosen && !chosen->started() && refusedAsReplayed(*chosen)) {
        // Nothing starts: the armed capture goes on waiting, untouched.
        replayedFile = CaptureFile::Identity();
        return false;
    }
    linkRunning = true;
    if (fromEnvironment) {
        if (fromEnvironment->start(ownID, connection)) {
            logLine("[DLL] capture to \"", fromEnvironment->path(), "\"");
            replace(std::move(fromEnvironment));
            armedByHost = false;
            return true;
        }
        logLine("[DLL] capture: cannot write \"", fromEnvironment->path(), "\"");
    }
    if (armed && !armed->started() && !armed->start(ownID, connection)) {
        logLine("[DLL] capture: cannot write \"", armed->path(), "\"");
        replace(nullptr);
    }
    return true;
}

void CaptureControl::linkFailed() {
    std::lock_guard<std::mutex> lock(controlMutex);
    linkRunning = false;
    replayedFile = CaptureFile::Identity();
    std::shared_ptr<CaptureWriter> current;
    {
        std::lock_guard<std::mutex> w(writerMutex);
        current = writer;
    }
    const std::vector<char> path = CaptureFormat::textOf(current ? current->path() : "");
    replace(nullptr);
    // Closed first (it holds the capture of the failed start): the one that
    // waits empties it when the next start begins.
    if (current && armedByHost) replace(std::shared_ptr<CaptureWriter>(CaptureWriter::create(path.data())));
}

void CaptureControl::linkStopped() {
    std::lock_guard<std::mutex> lock(controlMutex);
    linkRunning = false;
    replayedFile = CaptureFile::Identity();
    replace(nullptr);
}

void CaptureControl::record(CaptureWriter::Direction direction, const uint8_t* bytes, std::size_t n) {
    std::lock_guard<std::mutex> lock(writerMutex);
    if (writer) writer->record(direction, bytes, n);
}

void CaptureControl::replace(std::shared_ptr<CaptureWriter> next) {
    std::shared_ptr<CaptureWriter> previous;
    {
        std::lock_guard<std::mutex> lock(writerMutex);
        previous = std::move(writer);
        writer = std::move(next);
    }
    // Writes out what the replaced capture still holds; the link no longer reaches it.
    if (previous) previous->stop();
}

}  // namespace ORQ
