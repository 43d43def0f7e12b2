#pragma once
// Send queue of one message system, ordered by priority (higher first), at
// most 71 messages. A message marked unique refreshes the payload of a queued
// copy of the same data item (same key and dataSize) instead of queueing again.
//
// Threads: any thread may add(); one consumer per queue takes the head with
// getFirstMessage() and removes exactly that message with deleteFirst().
// The message handed to the consumer is "taken": until deleteFirst() it is
// not refreshed (a refresh for it is queued as a new message instead), so
// the bytes the consumer frames outside the lock never change under it, and
// a newer value never disappears with the removed message.
// `mutex` is innermost: no other lock is taken while it is held.
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <chrono>
#include <cstdint>

#include "MessageQueueNode.h"

namespace ORQ {

class MessageQueue {
public:
    static const uint8_t maxElements = 71;

    MessageQueue();
    virtual ~MessageQueue();  // destroys the messages still queued

    // Queues a copy of *m, or refreshes a queued copy; the caller keeps m.
    // A full queue drops the message and counts it in errorCount.
    void add(Message* m);
    // Unique refresh, called by add() with the mutex held: 1 when a queued
    // (not taken) payload was overwritten, else 0.
    uint8_t searchAndReplaceUniqueMessages(const Message* m);
    // The head message (now taken), or null. Valid until deleteFirst().
    Message* getFirstMessage();
    // Removes the message last returned by getFirstMessage(), wherever it
    // stands now; without one, the head. Nothing on an empty queue.
    void deleteFirst();

    // Removes every message (but the taken one) queued, or last refreshed,
    // before cutoff; returns how many.
    uint8_t dropOlderThan(std::chrono::steady_clock::time_point cutoff);

    // Consumer: waits until the head is a message not taken yet (one that
    // getFirstMessage() would hand out anew), wake() was called, or timeoutMs
    // have passed, so that a message goes out as soon as it is added instead
    // of at the next poll.
    void waitForMessage(unsigned timeoutMs);
    // Ends the current waitForMessage, or the next one if none is waiting.
    void wake();

    uint8_t getElementCount();
    uint8_t getErrorCount();

private:
    uint8_t elementCount;
    MessageQueueNode* start;
    uint8_t errorCount;
    MessageQueueNode* taken;  // handed to the consumer, not yet removed
    boost::mutex mutex;
    boost::condition_variable changed;  // a message was added, or wake() called
    bool woken;
};

}  // namespace ORQ
