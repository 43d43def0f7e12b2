#include "wire/MessageSystem.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

#include "log/LogLine.h"

namespace ORQ {

namespace {

const uint8_t escapeOffset = 0x80;  // escaped byte = original - 0x80
const uint8_t runFrameSize = 65;    // run's frame buffer
const uint8_t runPieceSize = 50;    // run reads the link in pieces of this size

// Frame content of this length or more holds more than layoutMax bytes
// once unescaped (an escape pair is the shortest form of a byte).
const std::size_t contentMax = 2 * MessageSystem::layoutMax + 2;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "unescape reads the bytes of a word lowest address first");

// Unescapes the size bytes at p into out (room for size + 8 bytes) and XORs
// the unescaped bytes into check, in one pass that takes eight bytes at a
// time up to each escape byte. Returns the unescaped length, or -1 when the
// content ends in an escape byte.
// Inlined into each caller (with Message's layout checks): left out of line
// once the peer check of a UDP link became a second caller, a received report
// cost 465 instructions instead of 444 (bench/profile.sh).
[[gnu::always_inline]] inline long unescape(const uint8_t* p, std::size_t size, uint8_t* out, uint8_t& check) {
    const uint64_t ones = 0x0101010101010101u;
    const uint64_t highs = 0x8080808080808080u;
    const uint64_t escapes = ones * MessageSystem::frameEscape;
    const uint8_t* const end = p + size;
    uint8_t* o = out;
    uint64_t words = 0;
    uint8_t bytes = 0;
    while (p < end) {
        const std::size_t left = static_cast<std::size_t>(end - p);
        std::size_t n = 8;  // bytes of w that are content
        uint64_t w;
        if (left >= 8) {
            std::memcpy(&w, p, sizeof w);
        } else if (size >= 8) {
            // The last eight bytes of the content, shifted down to the ones
            // left; the bytes shifted in are 0, never an escape byte.
            std::memcpy(&w, end - 8, sizeof w);
            w >>= 8 * (8 - left);
            n = left;
        } else {
            // Content shorter than a word.
            uint8_t b = *p++;
            if (b == MessageSystem::frameEscape) {
                if (p == end) return -1;
                b = static_cast<uint8_t>(*p++ - escapeOffset);
            }
            *o++ = b;
            bytes ^= b;
            continue;
        }
        // Copied whole: the bytes from an escape byte on are overwritten (the
        // output never runs ahead of the input, and out has room for a word
        // past the content).
        std::memcpy(o, &w, sizeof w);
        const uint64_t v = w ^ escapes;
        // Flags the escape bytes; the lowest flag is exact (a borrow can flag
        // bytes above an escape byte only).
        const uint64_t flagged = (v - ones) & ~v & highs;
        if (flagged == 0) {
            words ^= w;
            p += n;
            o += n;
            continue;
        }
        const unsigned k = static_cast<unsigned>(__builtin_ctzll(flagged)) / 8;
        words ^= w & ((uint64_t(1) << (8 * k)) - 1);
        p += k;
        o += k;
        if (p + 1 == end) return -1;
        const uint8_t b = static_cast<uint8_t>(p[1] - escapeOffset);
        *o++ = b;
        bytes ^= b;
        p += 2;
    }
    words ^= words >> 32;
    words ^= words >> 16;
    words ^= words >> 8;
    check = static_cast<uint8_t>(bytes ^ static_cast<uint8_t>(words));
    return o - out;
}

// The layout in a frame's content, unescaped into layout (room for
// contentMax + 8 bytes), with the XOR of its bytes in check; its length, or -1
// when the content holds no layout. Content that would not fit is no layout,
// and neither is an escape byte with nothing after it. Content this long
// unescapes to more than fits.
[[gnu::always_inline]] inline long layoutOf(const uint8_t* content, std::size_t size, uint8_t* layout, uint8_t& check) {
    const long length = size < contentMax ? unescape(content, size, layout, check) : -1;
    return length <= MessageSystem::layoutMax ? length : -1;
}

bool needsEscape(uint8_t b) {
    return b == MessageSystem::frameEnd || b == MessageSystem::frameStart || b == MessageSystem::frameEscape;
}

template <typename T>
void increment(std::atomic<T>& counter, T by = 1) {
    counter.fetch_add(by, std::memory_order_relaxed);
}

// Rate per second of a counter that grew from `old` to `now` (modulo its
// width) in timeDiff ms.
template <typename T>
long long ratePerSecond(T now, T old, uint16_t timeDiff) {
    const T grown = static_cast<T>(now - old);
    return static_cast<long long>(grown) * 1000 / timeDiff;
}

}  // namespace

MessageSystem::MessageSystem() : MessageSystem(nullptr) {
    autoRecv = 0;
    autoSend = 0;
}

MessageSystem::MessageSystem(Uart* uart)
    : next(nullptr),
      sendError(0),
      receiveError(0),
      sendBytes(0),
      receivedBytes(0),
      sendMessages(0),
      receivedMessages(0),
      staleDropped(0),
      linkEnded(0),
      queue(),
      newDataPos(0),
      uart(nullptr),
      autoSend(0),
      autoRecv(0) {
    init();
    this->uart = uart;
}

MessageSystem::~MessageSystem() { delete next; }

MessageSystem::Statistics MessageSystem::statistics() const {
    Statistics s;
    s.sendError = sendError.load(std::memory_order_relaxed);
    s.receiveError = receiveError.load(std::memory_order_relaxed);
    s.sendBytes = sendBytes.load(std::memory_order_relaxed);
    s.receivedBytes = receivedBytes.load(std::memory_order_relaxed);
    s.sendMessages = sendMessages.load(std::memory_order_relaxed);
    s.receivedMessages = receivedMessages.load(std::memory_order_relaxed);
    s.staleDropped = staleDropped.load(std::memory_order_relaxed);
    s.linkEnded = linkEnded.load();
    return s;
}


void MessageSystem::markLinkEnded() { linkEnded.store(1); }

void MessageSystem::init() {
    newDataPos = 0;
    next = nullptr;
    uart = nullptr;
    sendError.store(0, std::memory_order_relaxed);
    receiveError.store(0, std::memory_order_relaxed);
    sendBytes.store(0, std::memory_order_relaxed);
    receivedBytes.store(0, std::memory_order_relaxed);
    sendMessages.store(0, std::memory_order_relaxed);
    receivedMessages.store(0, std::memory_order_relaxed);
    staleDropped.store(0, std::memory_order_relaxed);
    linkEnded.store(0, std::memory_order_relaxed);
    autoSend = 1;
    autoRecv = 1;
}

bool MessageSystem::send(Message* m) { return queue.add(m); }

MessageQueue* MessageSystem::getMessageQueue() { return &queue; }

uint8_t MessageSystem::getNextSendData(uint8_t* buffer, uint8_t maxBufferSize) {
    return frameHead(buffer, maxBufferSize, false);
}

uint8_t MessageSystem::frameHead(uint8_t* buffer, uint8_t maxBufferSize, bool dropUnfit) {
    Message* head = queue.getFirstMessage();
    if (!head) return 0;

    // The head is taken: no refresh changes its payload while it is serialized here.
    const uint8_t length = head->serialize(serializedSendMessage, layoutMax);
    bool fits = length > 0 && maxBufferSize >= 2;
    unsigned count = 0;
    if (fits) {
        buffer[count++] = frameStart;
        for (unsigned i = 0; i < length; ++i) {
            // Keep room for this byte's escape and the end byte.
            if (count + 2 >= maxBufferSize) {
                fits = false;
                break;
            }
            const uint8_t b = serializedSendMessage[i];
            if (needsEscape(b)) {
                buffer[count++] = frameEscape;
                buffer[count++] = static_cast<uint8_t>(b - escapeOffset);
            } else {
                buffer[count++] = b;
            }
        }
    }
    if (length == 0 || (!fits && dropUnfit)) {
        queue.deleteFirst();
        increment(sendError);
        return 0;
    }
    if (!fits) return 0;
    buffer[count++] = frameEnd;
    return static_cast<uint8_t>(count);
}

void MessageSystem::dropStale(unsigned holdMs) {
    const uint8_t dropped =
        queue.dropOlderThan(std::chrono::steady_clock::now() - std::chrono::milliseconds(holdMs));
    if (dropped != 0) increment<uint32_t>(staleDropped, dropped);
}

void MessageSystem::procNewData(const uint8_t* buffer, uint8_t bufferSize) {
    const unsigned room = receiveBufferSize - newDataPos;
    const unsigned count = bufferSize < room ? bufferSize : room;
    std::memcpy(newData + newDataPos, buffer, count);
    newDataPos = static_cast<uint8_t>(newDataPos + count);
}

void MessageSystem::consumeNewData(uint8_t count) {
    std::memmove(newData, newData + count, newDataPos - count);
    newDataPos = static_cast<uint8_t>(newDataPos - count);
}

Message* MessageSystem::getNewMessage() {
    // The frame runs from the last start byte before the first end byte.
    const void* end = std::memchr(newData, frameEnd, newDataPos);
    const int endPos = end ? static_cast<int>(static_cast<const uint8_t*>(end) - newData) : -1;
    const void* start = memrchr(newData, frameStart, end ? static_cast<size_t>(endPos) : newDataPos);
    const int startPos = start ? static_cast<int>(static_cast<const uint8_t*>(start) - newData) : -1;

    if (startPos < 0) {
        // Noise, or an end byte without a start: nothing here can be a frame.
        newDataPos = 0;
        return nullptr;
    }

    if (endPos < 0) {
        // Still arriving: keep it from its start byte on. A pending frame
        // longer than the longest possible frame has lost its end byte.
        consumeNewData(static_cast<uint8_t>(startPos));
        increment(receiveError);
        if (newDataPos > frameMax) newDataPos = 0;
        return nullptr;
    }

    Message decoded;
    const bool ok = takeFrame(newData + startPos + 1, static_cast<std::size_t>(endPos - startPos - 1), decoded);
    consumeNewData(static_cast<uint8_t>(endPos + 1));
    if (!ok) return nullptr;
    Message* m = new (std::nothrow) Message(decoded);
    if (!m) increment(receiveError);
    return m;
}

bool MessageSystem::takeFrame(const uint8_t* content, std::size_t size, Message& m) {
    increment(receivedMessages);
    uint8_t check = 0;
    uint8_t layout[contentMax + 8];
    const long length = layoutOf(content, size, layout, check);
    if (length < 0) {
        increment(receiveError);
        return false;
    }
    const uint8_t code = m.deserialize(layout, static_cast<uint8_t>(length), check);
    if (code != Message::DECODE_OK) {
        increment(receiveError);
        logFrequentLine("[MessageSystem] getNewMessage: ERROR deserialize !!! code: ", static_cast<unsigned>(code),
                        " bufferSize ", static_cast<unsigned>(length));
        return false;
    }
    return true;
}

bool MessageSystem::holdsFrame(const uint8_t* bytes, std::size_t size) {
    const uint8_t* const end = bytes + size;
    const uint8_t* from = bytes;
    // Each end byte closes the frame of the last start byte before it, as
    // when the bytes are received.
    while (const void* close = std::memchr(from, frameEnd, static_cast<std::size_t>(end - from))) {
        const uint8_t* frameEndByte = static_cast<const uint8_t*>(close);
        if (const void* start = memrchr(from, frameStart, static_cast<std::size_t>(frameEndByte - from))) {
            const uint8_t* content = static_cast<const uint8_t*>(start) + 1;
            uint8_t check = 0;
            uint8_t layout[contentMax + 8];
            const long length = layoutOf(content, static_cast<std::size_t>(frameEndByte - content), layout, check);
            if (length >= 0 &&
                Message::layoutCode(layout, static_cast<uint8_t>(length), check) == Message::DECODE_OK) {
                return true;
            }
        }
        from = frameEndByte + 1;
    }
    return false;
}

void MessageSystem::run() {
    if (!uart) return;

    if (autoSend == 1) {
        uint8_t frame[runFrameSize];
        for (;;) {
            // A head whose frame exceeds this buffer is dropped: it would never fit.
            const uint8_t length = frameHead(frame, runFrameSize, true);
            if (length == 0) break;
            // A refused frame stays queued and goes out in a later pass.
            if (uart->send(frame, length) != Uart::ERROR_NO) break;
            queue.deleteFirst();
            increment<uint32_t>(sendBytes, length);
            increment(sendMessages);
        }
    }

    if (autoRecv == 1) {
        uint8_t piece[runPieceSize];
        while (uart->newData() != 0) {
            uint8_t count = uart->receive(piece, runPieceSize);
            if (count == 0) break;  // reports bytes but yields none: try next pass
            if (count > runPieceSize) count = runPieceSize;
            increment<uint32_t>(receivedBytes, count);
            procNewData(piece, count);
        }
    }
}

void MessageSystem::setAutoSend(uint8_t value) {
    if (uart) autoSend = value;
}

void MessageSystem::setAutoRecv(uint8_t value) {
    if (uart) autoRecv = value;
}

uint8_t MessageSystem::isAutoSend() { return autoSend; }

uint8_t MessageSystem::isAutoRecv() { return autoRecv; }

void MessageSystem::print(uint16_t timeDiff) {
    // Counter values at the previous call, shared by all message systems.
    static std::atomic<uint16_t> receivedMessagesOld(0);
    static std::atomic<uint32_t> sendBytesOld(0);
    static std::atomic<uint32_t> receivedBytesOld(0);

    const uint16_t nowSendError = sendError.load(std::memory_order_relaxed);
    const uint16_t nowReceiveError = receiveError.load(std::memory_order_relaxed);
    const uint32_t nowSendBytes = sendBytes.load(std::memory_order_relaxed);
    const uint32_t nowReceivedBytes = receivedBytes.load(std::memory_order_relaxed);
    const uint16_t nowSendMessages = sendMessages.load(std::memory_order_relaxed);
    const uint16_t nowReceivedMessages = receivedMessages.load(std::memory_order_relaxed);

    char line[512];
    size_t pos = 0;
    auto append = [&](const char* format, auto... args) {
        const int written = std::snprintf(line + pos, sizeof(line) - pos, format, args...);
        if (written > 0) pos += static_cast<size_t>(written);
        if (pos >= sizeof(line)) pos = sizeof(line) - 1;
    };

    append("%s", "[MessageSystem] print ");
    if (uart) {
        append(" revBufferSize(uart) %u (%u)", static_cast<unsigned>(newDataPos), static_cast<unsigned>(uart->newData()));
    }
    append(" sendError %u receiverError %u queue: elementCount %u ErrorCount %u", static_cast<unsigned>(nowSendError),
           static_cast<unsigned>(nowReceiveError), static_cast<unsigned>(queue.getElementCount()),
           static_cast<unsigned>(queue.getErrorCount()));
    append(" send/received:  Bytes %u/%u", static_cast<unsigned>(nowSendBytes), static_cast<unsigned>(nowReceivedBytes));
    if (timeDiff != 0) {
        append(" Bytes/s %lld/%lld", ratePerSecond<uint32_t>(nowSendBytes, sendBytesOld.load(), timeDiff),
               ratePerSecond<uint32_t>(nowReceivedBytes, receivedBytesOld.load(), timeDiff));
    }
    append(" Messages %u/%u", static_cast<unsigned>(nowSendMessages), static_cast<unsigned>(nowReceivedMessages));
    if (timeDiff != 0) {
        append(" Messages/s%d/%lld", -1, ratePerSecond<uint16_t>(nowReceivedMessages, receivedMessagesOld.load(), timeDiff));
    }
    logLine(line);

    receivedMessagesOld.store(nowReceivedMessages);
    sendBytesOld.store(nowSendBytes);
    receivedBytesOld.store(nowReceivedBytes);
}

}  // namespace ORQ
