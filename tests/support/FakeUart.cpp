#include "FakeUart.h"

#include <algorithm>

namespace ORQ {
namespace test {

FakeUart::FakeUart() : limited(false), acceptBudget(0), refused(0), pieceSize(255) {}

void FakeUart::acceptAll() {
    std::lock_guard<std::mutex> lock(mutex);
    limited = false;
}

void FakeUart::refuseAll() { acceptNext(0); }

void FakeUart::acceptNext(size_t frames) {
    std::lock_guard<std::mutex> lock(mutex);
    limited = true;
    acceptBudget = frames;
}

std::vector<FakeUart::Bytes> FakeUart::sentFrames() const {
    std::lock_guard<std::mutex> lock(mutex);
    return sent;
}

size_t FakeUart::refusedCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return refused;
}

void FakeUart::addReceived(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    pending.insert(pending.end(), bytes.begin(), bytes.end());
}

void FakeUart::setPieceSize(uint8_t size) {
    std::lock_guard<std::mutex> lock(mutex);
    pieceSize = size;
}

std::vector<size_t> FakeUart::pieceSizes() const {
    std::lock_guard<std::mutex> lock(mutex);
    return pieces;
}

size_t FakeUart::pendingBytes() const {
    std::lock_guard<std::mutex> lock(mutex);
    return pending.size();
}

uint8_t FakeUart::newData() {
    std::lock_guard<std::mutex> lock(mutex);
    // Like the serial driver, report at most 250 waiting bytes.
    return static_cast<uint8_t>(std::min<size_t>(pending.size(), 250));
}

uint8_t FakeUart::send(uint8_t* buffer, uint8_t bufferSize) {
    std::lock_guard<std::mutex> lock(mutex);
    if (limited) {
        if (acceptBudget == 0) {
            ++refused;
            return ERROR_EXCEPTION;
        }
        --acceptBudget;
    }
    sent.emplace_back(buffer, buffer + bufferSize);
    return ERROR_NO;
}

uint8_t FakeUart::receive(uint8_t* buffer, uint8_t maxBufferSize) {
    std::lock_guard<std::mutex> lock(mutex);
    const size_t count = std::min<size_t>({pending.size(), maxBufferSize, pieceSize});
    std::copy_n(pending.begin(), count, buffer);
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(count));
    pieces.push_back(count);
    return static_cast<uint8_t>(count);
}

}  // namespace test
}  // namespace ORQ
