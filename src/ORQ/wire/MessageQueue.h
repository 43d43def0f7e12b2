#pragma once
// Send queue of one message system, ordered by priority (higher first) and,
// among equal priorities, by the order the messages were added; at most 71
// messages. A message marked unique refreshes the payload of a queued copy of
// the same data item (same key and dataSize) instead of queueing again: the
// copy keeps its priority and its place, so `wp0, go, wp0'` leaves as
// `wp0', go` (the device never acts before the corrected value arrives) and an
// item refreshed faster than the line drains still reaches the head. Neither
// may be an action (Properties::action): each action is sent, none replaces
// another.
//
// Threads: any thread may add(); one consumer at a time (it may pass that
// role between threads under a lock of its own) takes the head with
// getFirstMessage() and removes exactly that message with deleteFirst().
// The message handed to the consumer is "taken": until deleteFirst() it is
// not refreshed (a refresh for it is queued as a new message instead), so
// the bytes the consumer frames outside the lock never change under it, and
// a newer value never disappears with the removed message. The consumer
// learns of new work through the hook set with setOnQueued().
// Locks: `mutex` is innermost. The hook runs after it is released, under a
// shared hold of `hookMutex` (setOnQueued() holds it exclusively), so the
// hook may call the queue and take the consumer's locks.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>

#include "wire/MessageQueueNode.h"

namespace ORQ {

class MessageQueue {
public:
    static const uint8_t maxElements = 71;

    MessageQueue();
    virtual ~MessageQueue();  // destroys the messages still queued

    // Queues a copy of *m, or refreshes a queued copy; the caller keeps m.
    // True when the message is queued or refreshed one; false when it was
    // refused (queue full, or no memory for the copy) and counted.
    bool add(Message* m);
    // Unique refresh, called by add() with the mutex held: 1 when a queued
    // (not taken) payload was overwritten in place, else 0.
    // Calls no hook (add() does).
    uint8_t searchAndReplaceUniqueMessages(const Message* m);
    // The head message (now taken), or null. Valid until deleteFirst().
    Message* getFirstMessage();
    // Removes the message last returned by getFirstMessage(), wherever it
    // stands now; without one, the head. Nothing on an empty queue.
    void deleteFirst();

    // Removes every message (but the taken one) queued, or last refreshed,
    // before cutoff; returns how many.
    uint8_t dropOlderThan(std::chrono::steady_clock::time_point cutoff);

    // Consumer: hook is called each time a message is queued or a queued
    // one refreshed, so that it goes out at once instead of at a poll; null
    // for none. It runs on the adding thread once the message is in the
    // queue, outside the queue's mutex; calls on several adding threads may
    // overlap. Once setOnQueued() returns, no call of the old hook is in
    // progress. The hook must not call setOnQueued() and must return
    // promptly.
    void setOnQueued(std::function<void()> hook);

    uint8_t getElementCount();
    uint8_t getErrorCount();     // refusals, low 8 bits (wraps at 256)
    uint32_t getRefusedCount();  // refusals since construction (wraps at 2^32)

private:
    // With the mutex held: puts node into the list by its priority, behind
    // its equals; takes node out of the list (it must be in it).
    void link(MessageQueueNode* node);
    void unlink(MessageQueueNode* node);

    uint8_t elementCount;
    MessageQueueNode* start;
    uint32_t refused;
    MessageQueueNode* taken;  // handed to the consumer, not yet removed
    std::mutex mutex;
    // Held shared around each call of the hook, exclusively to change it:
    // shared, so the hook calls of several adding threads never wait for
    // each other; only the link's start and stop change it.
    std::shared_mutex hookMutex;
    std::function<void()> onQueued;  // the consumer's hook, or empty; under hookMutex
};

}  // namespace ORQ
