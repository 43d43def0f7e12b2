#include "StdoutCapture.h"

#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <stdexcept>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

#include "log/LogSink.h"

namespace ORQ {
namespace test {

namespace {

// The library's lines may wait in its log sink for a moment; what was logged
// before a call here is on fd 1 once this returns. (The sink of a library
// loaded with dlopen is its own copy: its lines are written at once while
// fd 1 takes them, which a capture file always does.)
void flushAll() {
    LogSink::instance().flush(std::chrono::seconds(5));
    std::cout.flush();
    std::fflush(stdout);
}

}  // namespace

StdoutCapture::StdoutCapture() : savedFd(-1), fileFd(-1) {
    char pattern[] = "/tmp/orq-stdout-XXXXXX";
    fileFd = mkstemp(pattern);
    if (fileFd < 0) {
        throw std::runtime_error("cannot create the capture file");
    }
    fileName = pattern;
    flushAll();
    savedFd = dup(1);
    dup2(fileFd, 1);
}

StdoutCapture::~StdoutCapture() {
    flushAll();
    const std::string captured = text();
    dup2(savedFd, 1);
    ::close(savedFd);
    ::close(fileFd);
    ::unlink(fileName.c_str());
    std::fwrite(captured.data(), 1, captured.size(), stdout);
    std::fflush(stdout);
}

std::string StdoutCapture::text() const {
    flushAll();
    std::string result;
    char buffer[8192];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = pread(fileFd, buffer, sizeof buffer, offset);
        if (n <= 0) {
            break;
        }
        result.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
    return result;
}

std::vector<std::string> StdoutCapture::lines() const {
    return linesFrom(0);
}

std::vector<std::string> StdoutCapture::linesFrom(std::size_t skip) const {
    const std::string all = text();
    std::vector<std::string> result;
    std::size_t start = 0;
    std::size_t index = 0;
    for (std::size_t end = all.find('\n'); end != std::string::npos; end = all.find('\n', start)) {
        if (index++ >= skip) {
            result.push_back(all.substr(start, end - start));
        }
        start = end + 1;
    }
    return result;
}

std::size_t StdoutCapture::count(const std::string& line) const {
    std::size_t n = 0;
    for (const std::string& l : lines()) {
        if (l == line) {
            ++n;
        }
    }
    return n;
}

bool StdoutCapture::waitForLine(const std::string& line, std::chrono::milliseconds timeout,
                                std::size_t times) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (count(line) < times) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace test
}  // namespace ORQ
