#pragma once
// Captures the process's standard output (file descriptor 1) in a temp file
// while alive, so tests can read the diagnostic lines the library writes from
// any of its threads. On destruction fd 1 is restored and the captured text
// is echoed to it, so nothing (test failures included) is lost from the log.
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace ORQ {
namespace test {

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written so far.
    std::string text() const;
    // The complete lines written so far, without their newlines.
    std::vector<std::string> lines() const;
    // Lines written after the first `skip` lines.
    std::vector<std::string> linesFrom(std::size_t skip) const;
    // How many complete lines equal `line`.
    std::size_t count(const std::string& line) const;
    // Waits until at least `times` complete lines equal `line`.
    bool waitForLine(const std::string& line, std::chrono::milliseconds timeout, std::size_t times = 1) const;

private:
    int savedFd;
    int fileFd;
    std::string fileName;
};

}  // namespace test
}  // namespace ORQ
