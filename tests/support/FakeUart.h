#pragma once
// In-memory stand-in for a byte link. The send side accepts frames until told
// to refuse and records what it accepted; the receive side serves the bytes a
// test queued in pieces no larger than the piece size the test chose.
// Every operation takes an internal lock, so the link and the test may run on
// different threads.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "wire/Uart.h"

namespace ORQ {
namespace test {

class FakeUart : public Uart {
public:
    using Bytes = std::vector<uint8_t>;

    FakeUart();

    // Send side.
    void acceptAll();                 // the default
    void refuseAll();                 // every send returns ERROR_EXCEPTION
    void acceptNext(size_t frames);   // accept this many more frames, then refuse
    std::vector<Bytes> sentFrames() const;  // accepted frames, oldest first
    size_t refusedCount() const;

    // Receive side.
    void addReceived(const Bytes& bytes);  // queued behind earlier bytes
    void setPieceSize(uint8_t size);       // largest piece one receive() hands out
    std::vector<size_t> pieceSizes() const;  // what each receive() handed out
    size_t pendingBytes() const;

    uint8_t newData() override;
    uint8_t send(uint8_t* buffer, uint8_t bufferSize) override;
    uint8_t receive(uint8_t* buffer, uint8_t maxBufferSize) override;

private:
    mutable std::mutex mutex;
    bool limited;       // acceptBudget applies
    size_t acceptBudget;
    std::vector<Bytes> sent;
    size_t refused;
    std::deque<uint8_t> pending;
    uint8_t pieceSize;
    std::vector<size_t> pieces;
};

}  // namespace test
}  // namespace ORQ
