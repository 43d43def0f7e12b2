#pragma once
// A raw pseudo-terminal pair for tests that play the remote device: the code
// under test opens slavePath() like a serial port, the test writes and reads
// the master. Closing the master makes the device vanish for the other side
// (its reads fail or see end of file).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ORQ {
namespace test {

class Pty {
public:
    using Bytes = std::vector<uint8_t>;

    // Opens the master in raw mode; throws std::runtime_error on failure.
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const;
    int masterFd() const;

    // Writes all bytes to the master (the device sends them).
    void write(const Bytes& bytes);
    // Reads from the master until `sequence` occurs in everything received so
    // far or the timeout passes; true when it occurred.
    bool waitForSequence(const Bytes& sequence, std::chrono::milliseconds timeout);
    // Everything read from the master so far.
    const Bytes& received() const;
    void clearReceived();
    // Bytes written by the other side and not yet read from the master.
    std::size_t unreadBytes() const;
    // Closes the master: the device is gone.
    void close();

private:
    // Reads what is available within `slice`; false when nothing came.
    bool readSome(std::chrono::milliseconds slice);

    int master;
    std::string slave;
    Bytes data;
};

}  // namespace test
}  // namespace ORQ
