#include "CaptureReplay.h"

#include <cmath>
#include <cstdlib>

namespace ORQ {

namespace {

const char scheme[] = "replay://";

}  // namespace

bool CaptureReplay::parse(const std::string& connection, std::string& path, double& speed) {
    if (connection.compare(0, sizeof scheme - 1, scheme) != 0) return false;
    std::string rest = connection.substr(sizeof scheme - 1);
    speed = 1.0;
    const std::size_t query = rest.find('?');
    if (query != std::string::npos) {
        const std::string option = rest.substr(query + 1);
        rest.resize(query);
        if (option.compare(0, 6, "speed=") != 0) return false;
        const char* text = option.c_str() + 6;
        char* end = nullptr;
        speed = std::strtod(text, &end);
        if (end == text || *end != '\0' || !std::isfinite(speed) || speed < 0) return false;
    }
    path = rest;
    return !path.empty();
}

CaptureReplay::CaptureReplay(const std::string& path, double speed)
    : reader(path), speed(speed), endReached(false), stopRequested(false) {}

void CaptureReplay::requestStop() {
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        stopRequested = true;
    }
    stopWake.notify_all();
}

std::string CaptureReplay::endMessage() {
    std::lock_guard<std::mutex> lock(stopMutex);
    return message;
}

bool CaptureReplay::waitUntil(std::chrono::steady_clock::time_point at) {
    std::unique_lock<std::mutex> lock(stopMutex);
    stopWake.wait_until(lock, at, [this] { return stopRequested; });
    return !stopRequested;
}

void CaptureReplay::run(const Hooks& hooks) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    // Wall-clock instant at which capture time `micros` is due.
    auto due = [&](uint64_t micros) {
        return begin + std::chrono::microseconds(static_cast<int64_t>(static_cast<double>(micros) / speed));
    };
    uint64_t nextTickMicros = 0;
    auto tickUpTo = [&](uint64_t micros) {
        while (nextTickMicros <= micros) {
            if (speed > 0 && !waitUntil(due(nextTickMicros))) return false;
            hooks.tick(static_cast<uint32_t>(nextTickMicros / 1000));
            nextTickMicros += tickMs * 1000;
        }
        return true;
    };

    CaptureReader::Record r;
    while (ok() && reader.next(r)) {
        if (r.kind != CaptureFormat::KIND_RECEIVED) continue;
        if (!tickUpTo(r.micros)) return;
        if (speed > 0 && !waitUntil(due(r.micros))) return;
        {
            std::lock_guard<std::mutex> lock(stopMutex);
            if (stopRequested) return;
        }
        hooks.deliver(r.bytes.data(), r.bytes.size());
    }
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        message = reader.error();
    }
    endReached = true;

    // Nothing more arrives; time goes on at the wall clock's pace.
    const Clock::time_point endedAt = Clock::now();
    const uint64_t endMicros = nextTickMicros;
    for (uint64_t n = 0;; ++n) {
        const auto since = std::chrono::microseconds(n * tickMs * 1000);
        if (!waitUntil(endedAt + since)) return;
        hooks.tick(static_cast<uint32_t>((endMicros + static_cast<uint64_t>(since.count())) / 1000));
    }
}

}  // namespace ORQ
