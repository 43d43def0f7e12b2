#include "CaptureControl.h"

#include <cstdlib>
#include <ctime>

#include "LogLine.h"

namespace ORQ {

CaptureControl& CaptureControl::process() {
    static CaptureControl control;
    return control;
}

CaptureControl::CaptureControl() : linkRunning(false), ownID(0) {}

std::string CaptureControl::expandPath(const std::string& path, std::time_t t) {
    std::tm tm;
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 1 < path.size() && path[i + 1] == 't') {
            out += stamp;
            ++i;
        } else {
            out += path[i];
        }
    }
    return out;
}

bool CaptureControl::start(const std::string& path) {
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
    return true;
}

void CaptureControl::stop() {
    std::lock_guard<std::mutex> lock(controlMutex);
    replace(nullptr);
}

void CaptureControl::linkStarted(uint8_t id, const std::string& conn) {
    std::lock_guard<std::mutex> lock(controlMutex);
    linkRunning = true;
    ownID = id;
    connection = conn;
    if (const char* pattern = std::getenv("ORQ_CAPTURE")) {
        if (*pattern != '\0') {
            const std::string path = expandPath(pattern, std::time(nullptr));
            std::shared_ptr<CaptureWriter> next(CaptureWriter::create(path));
            if (next && next->start(ownID, connection)) {
                logLine("[DLL] capture to \"", path, "\"");
                replace(std::move(next));
                return;
            }
            logLine("[DLL] capture: cannot create \"", path, "\"");
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

void CaptureControl::linkStopped() {
    std::lock_guard<std::mutex> lock(controlMutex);
    linkRunning = false;
    replace(nullptr);
}

void CaptureControl::record(CaptureWriter::Direction direction, const uint8_t* bytes, std::size_t n) {
    std::lock_guard<std::mutex> lock(writerMutex);
    if (writer) writer->record(direction, bytes, n);
}

std::string CaptureControl::currentPath() {
    std::lock_guard<std::mutex> lock(writerMutex);
    return writer ? writer->path() : std::string();
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
