#include "CaptureControl.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "LogLine.h"

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

bool CaptureControl::start(const char* path) {
    if (path == nullptr) path = "";
    std::lock_guard<std::mutex> lock(controlMutex);
    std::shared_ptr<CaptureWriter> next(CaptureWriter::create(path));
    if (!next) {
        logLine("[DLL] capture: cannot create \"", path, "\"");
        return false;
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

void CaptureControl::linkStarting(uint8_t id, const char* conn) {
    std::lock_guard<std::mutex> lock(controlMutex);
    linkRunning = true;
    ownID = id;
    std::snprintf(connection, sizeof connection, "%s", conn ? conn : "");
    if (const char* pattern = std::getenv("ORQ_CAPTURE")) {
        if (*pattern != '\0') {
            const std::vector<char> path = expandPath(pattern, std::time(nullptr));
            std::shared_ptr<CaptureWriter> next(CaptureWriter::create(path.data()));
            if (next && next->start(ownID, connection)) {
                logLine("[DLL] capture to \"", path.data(), "\"");
                replace(std::move(next));
                armedByHost = false;
                return;
            }
            logLine("[DLL] capture: cannot create \"", path.data(), "\"");
        }
    }
    std::shared_ptr<CaptureWriter> armed;
    {
        std::lock_guard<std::mutex> w(writerMutex);
        armed = writer;
    }
    if (armed && !armed->started() && !armed->start(ownID, connection)) {
        logLine("[DLL] capture: cannot write \"", armed->path(), "\"");
        replace(nullptr);
    }
}

void CaptureControl::linkFailed() {
    std::lock_guard<std::mutex> lock(controlMutex);
    linkRunning = false;
    std::shared_ptr<CaptureWriter> current;
    {
        std::lock_guard<std::mutex> w(writerMutex);
        current = writer;
    }
    const std::vector<char> path = CaptureFormat::textOf(current ? current->path() : "");
    replace(nullptr);
    // Closed first: the file is emptied by the one writer that holds it.
    if (current && armedByHost) replace(std::shared_ptr<CaptureWriter>(CaptureWriter::create(path.data())));
}

void CaptureControl::linkStopped() {
    std::lock_guard<std::mutex> lock(controlMutex);
    linkRunning = false;
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
