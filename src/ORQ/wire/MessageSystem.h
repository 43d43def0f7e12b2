#pragma once
// One end of one link: owns the link's send queue, frames the head message
// (start 0xFD, escaped layout, end 0xFC; 0xFC/0xFD/0xFE inside a frame go out
// as 0xFE, byte - 0x80), finds frames again in the received bytes, decodes
// them, and keeps the link statistics.
//
// Modes: auto mode (built with a Uart) drives the link itself in run(), on the
// main-loop thread; driver mode (no Uart) is served by a link driver that
// calls getNextSendData()/queue deleteFirst() on its send side and
// receiveFrame() (or procNewData()/getNewMessage()) on its receive side. The
// two sides may run on different threads, so each writes only its own
// counters and buffers. send() may be called from any thread (the queue is
// locked). The counters are the system's own: each has a single writer (the
// side it counts, or the link through countReceivedBytes()/markLinkEnded()),
// and any thread reads them through statistics().
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wire/Message.h"
#include "wire/MessageQueue.h"
#include "wire/Uart.h"

namespace ORQ {

class MessageSystem {
public:
    static const uint8_t frameStart = 0xFD;
    static const uint8_t frameEnd = 0xFC;
    static const uint8_t frameEscape = 0xFE;
    static const uint8_t layoutMax = 64;                  // longest layout
    static const uint8_t frameMax = 2 + 2 * layoutMax;    // longest frame: 130 bytes
    static const uint8_t receiveBufferSize = 200;

    MessageSystem();                   // driver mode
    explicit MessageSystem(Uart* uart);  // auto mode; uart must not be null
    virtual ~MessageSystem();          // destroys `next` (the rest of the list), not the uart

    void init();
    // Queues a deep copy of *m (or refreshes a queued one); false when the
    // queue refused it.
    bool send(Message* m);
    MessageQueue* getMessageQueue();

    // Send side: writes the frame of the head message into buffer and returns
    // its length, or 0 when there is nothing to send or the frame does not
    // fit. The head stays queued; the caller removes it with deleteFirst().
    // A head that cannot be serialized is removed and counted in sendError.
    uint8_t getNextSendData(uint8_t* buffer, uint8_t maxBufferSize);

    // Send side: drops the queued messages that waited longer than holdMs
    // (for a link that was down) and counts them in staleDropped.
    void dropStale(unsigned holdMs);

    // Receive side: appends received bytes (what exceeds 200 is dropped).
    void procNewData(const uint8_t* buffer, uint8_t bufferSize);
    // Takes the next frame out of the received bytes and returns the decoded
    // message (owned by the caller), or null.
    Message* getNewMessage();
    // Receive side of a link that finds the end bytes itself: bytes are what
    // arrived since the previous end byte, up to and including the next one.
    // Decodes the frame they close into m, with the counters, lines and
    // results of procNewData() and getNewMessage() on the same bytes (only
    // the last 200 count), without keeping or allocating anything. True when
    // m holds a message. Inline: a link hands every frame through it.
    bool receiveFrame(const uint8_t* bytes, std::size_t size, Message& m) {
        // After more noise than the buffer of procNewData holds, the end of
        // the bytes counts: the frame is there.
        if (size > receiveBufferSize) {
            bytes += size - receiveBufferSize;
            size = receiveBufferSize;
        }
        const void* start = memrchr(bytes, frameStart, size - 1);
        if (!start) return false;  // noise, or an end byte without a start
        const uint8_t* content = static_cast<const uint8_t*>(start) + 1;
        return takeFrame(content, static_cast<std::size_t>(bytes + size - 1 - content), m);
    }

    // Whether bytes hold at least one whole frame, start byte to end byte,
    // whose layout is a message with a right check byte: what a listener asks
    // of bytes before it trusts their sender. Counts, logs and keeps nothing.
    static bool holdsFrame(const uint8_t* bytes, std::size_t size);

    // One pass of auto mode: send until the link refuses, then read the link
    // in pieces of up to 50 bytes.
    void run();

    void setAutoSend(uint8_t value);  // ignored without a uart
    void setAutoRecv(uint8_t value);
    uint8_t isAutoSend();
    uint8_t isAutoRecv();

    // One statistics line; timeDiff = ms since the previous call (0: no rates).
    void print(uint16_t timeDiff);

    MessageSystem* next;  // manager's list of message systems; owned

    // The counters at one instant (each read on its own; they start at 0,
    // wrap and are never reset). Any thread.
    struct Statistics {
        uint16_t sendError;
        uint16_t receiveError;
        uint32_t sendBytes;
        uint32_t receivedBytes;
        uint16_t sendMessages;
        uint16_t receivedMessages;
        uint32_t staleDropped;  // queued messages dropped after waiting too long for the link
        uint8_t linkEnded;      // 1 once the link's source has ended for good (a replay past its end)
    };
    Statistics statistics() const;

    // What the link tells its message system. Link's I/O thread only.
    // n bytes were read from the link.
    void countReceivedBytes(uint32_t n) { receivedBytes.fetch_add(n, std::memory_order_relaxed); }
    // The link's source has ended for good.
    void markLinkEnded();

private:
    // Single writer each (see the class comment), read by any thread.
    std::atomic<uint16_t> sendError;
    std::atomic<uint16_t> receiveError;
    std::atomic<uint32_t> sendBytes;
    std::atomic<uint32_t> receivedBytes;
    std::atomic<uint16_t> sendMessages;
    std::atomic<uint16_t> receivedMessages;
    std::atomic<uint32_t> staleDropped;
    std::atomic<uint8_t> linkEnded;

    // Frames the head into buffer (see getNextSendData). When the frame does
    // not fit and dropUnfit is set, the head is dropped like an unserializable
    // one: for a caller whose buffer never grows it would never fit.
    uint8_t frameHead(uint8_t* buffer, uint8_t maxBufferSize, bool dropUnfit);
    // Removes the first `count` bytes of newData.
    void consumeNewData(uint8_t count);
    // Counts one frame and decodes its content (the bytes between its start
    // and end byte) into m in one pass that unescapes and checks the size;
    // false (and counted as an error) when it is no message.
    bool takeFrame(const uint8_t* content, std::size_t size, Message& m);

    MessageQueue queue;
    uint8_t serializedSendMessage[layoutMax];  // send side: layout of the head being framed
    uint8_t newData[receiveBufferSize];
    uint8_t newDataPos;
    Uart* uart;
    uint8_t autoSend;
    uint8_t autoRecv;
};

}  // namespace ORQ
