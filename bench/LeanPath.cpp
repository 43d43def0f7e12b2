#include "LeanPath.h"

#include <cstring>

#include "BenchSupport.h"
#include "SimCodec.h"

namespace bench {

namespace {
using ORQSim::SimCodec;
const uint8_t frameStart = SimCodec::frameStart;
const uint8_t frameEnd = SimCodec::frameEnd;
const uint8_t frameEscape = SimCodec::frameEscape;
const uint8_t layoutSmal = 3;
const size_t smalHeader = 5;  // layout, type, sender, receiver, channel

struct Report {
    uint8_t dataType;
    uint8_t sender;
    uint8_t size;
    const uint8_t* payload;
};

int16_t le16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

const uint8_t* find(const uint8_t* from, const uint8_t* end, uint8_t byte) {
    return static_cast<const uint8_t*>(std::memchr(from, byte, static_cast<size_t>(end - from)));
}
}  // namespace

void LeanPath::addBoard(uint8_t id) { boards[id] = std::make_unique<Board>(); }

void LeanPath::feed(const uint8_t* bytes, size_t n) {
    const uint8_t* p = bytes;
    const uint8_t* const end = bytes + n;
    if (cutLength > 0) {
        const uint8_t* e = find(p, end, frameEnd);
        const size_t take = static_cast<size_t>((e != nullptr ? e + 1 : end) - p);
        if (cutLength + take > sizeof cut) {
            cutLength = 0;  // too long for any frame: dropped
        } else {
            std::memcpy(cut + cutLength, p, take);
            cutLength += take;
            if (e != nullptr) {
                frame(cut, cutLength);
                cutLength = 0;
            }
        }
        if (e == nullptr) return;
        p = e + 1;
    }
    while (p < end) {
        const uint8_t* s = find(p, end, frameStart);
        if (s == nullptr) return;
        const uint8_t* e = find(s, end, frameEnd);
        if (e == nullptr) {
            const size_t rest = static_cast<size_t>(end - s);
            if (rest <= sizeof cut) {
                std::memcpy(cut, s, rest);
                cutLength = rest;
            }
            return;
        }
        frame(s, static_cast<size_t>(e + 1 - s));
        p = e + 1;
    }
}

void LeanPath::frame(const uint8_t* f, size_t n) {
    uint8_t layout[maxLayout];
    size_t length = 0;
    uint8_t check = 0;
    for (size_t i = 1; i + 1 < n; ++i) {
        uint8_t b = f[i];
        if (b == frameStart) {
            // A later start abandons what came before it.
            length = 0;
            check = 0;
            continue;
        }
        if (b == frameEscape) {
            if (++i + 1 == n) return;
            b = static_cast<uint8_t>(f[i] - 0x80);
        }
        if (length == maxLayout) return;
        layout[length++] = b;
        check ^= b;
    }
    // The check byte folds into the XOR of the whole layout as zero.
    if (length < smalHeader + 1 || layout[0] != layoutSmal || check != 0) return;
    const Report r{layout[1], layout[2], static_cast<uint8_t>(length - smalHeader - 1), layout + smalHeader};
    Board* board = boards[r.sender].get();
    if (board == nullptr || r.dataType != accReport || r.size != 6) return;
    std::lock_guard<std::mutex> hold(board->lock);
    for (int k = 0; k < 3; ++k) board->acc[k] = le16(r.payload + 2 * k);
    ++board->reports;
}

int LeanPath::accX(uint8_t id) {
    Board* board = boards[id].get();
    if (board == nullptr) return -1;
    std::lock_guard<std::mutex> hold(board->lock);
    return board->acc[0];
}

}  // namespace bench
