#include "wire/MessageQueue.h"

#include <cstring>
#include <new>

namespace ORQ {

MessageQueue::MessageQueue() : elementCount(0), start(nullptr), refused(0), taken(nullptr) {}

MessageQueue::~MessageQueue() {
    while (start) {
        MessageQueueNode* node = start;
        start = node->next;
        delete node;
    }
}

bool MessageQueue::add(Message* m) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (searchAndReplaceUniqueMessages(m) == 0) {
            if (elementCount >= maxElements) {
                ++refused;
                return false;
            }
            MessageQueueNode* node = new (std::nothrow) MessageQueueNode(m);
            // Without memory for the node the message is refused like one
            // that finds the queue full.
            if (!node) {
                ++refused;
                return false;
            }
            ++elementCount;
            link(node);
        }
    }
    // Outside the mutex: the consumer may take the message at once, on this thread.
    std::shared_lock<std::shared_mutex> hookLock(hookMutex);
    if (onQueued) onQueued();
    return true;
}

void MessageQueue::link(MessageQueueNode* node) {
    const uint8_t priority = node->message.priority;
    if (!start || start->message.priority < priority) {
        node->next = start;
        start = node;
        return;
    }
    // Behind every message of its priority or higher: equals leave in the
    // order they were made, so a device sees a sequence of commands as the
    // host gave it.
    MessageQueueNode* at = start;
    while (at->next && at->next->message.priority >= priority) at = at->next;
    node->next = at->next;
    at->next = node;
}

void MessageQueue::unlink(MessageQueueNode* node) {
    MessageQueueNode** at = &start;
    while (*at != node) at = &(*at)->next;
    *at = node->next;
    node->next = nullptr;
}

uint8_t MessageQueue::searchAndReplaceUniqueMessages(const Message* m) {
    if (m->properties.unique == 0 || m->properties.action == 1) return 0;
    for (MessageQueueNode* node = start; node; node = node->next) {
        // The taken message is being framed outside the lock: its bytes must
        // not change, and it is about to be removed, so a refresh of it has to
        // go into a node of its own.
        if (node == taken) continue;
        Message& queued = node->message;
        if (queued.properties.action == 1) continue;  // an action is never overwritten
        if (queued.isEqualForUnique(m) && queued.dataSize == m->dataSize) {
            std::memcpy(queued.data, m->data, m->dataSize);
            // The value is new, so the hold ages it from now; its place stays,
            // so an item refreshed faster than the line drains still leaves,
            // and a command queued after the item never overtakes its
            // corrected value.
            node->queuedAt = std::chrono::steady_clock::now();
            return 1;
        }
    }
    return 0;
}

Message* MessageQueue::getFirstMessage() {
    std::lock_guard<std::mutex> lock(mutex);
    taken = start;
    return start ? &start->message : nullptr;
}

void MessageQueue::deleteFirst() {
    std::lock_guard<std::mutex> lock(mutex);
    MessageQueueNode* victim = taken ? taken : start;
    taken = nullptr;
    if (!victim) return;

    // A higher-priority message may have been put in front of the taken one.
    unlink(victim);
    delete victim;
    --elementCount;
}

uint8_t MessageQueue::dropOlderThan(std::chrono::steady_clock::time_point cutoff) {
    std::lock_guard<std::mutex> lock(mutex);
    uint8_t dropped = 0;
    MessageQueueNode** at = &start;
    while (*at) {
        MessageQueueNode* node = *at;
        if (node != taken && node->queuedAt < cutoff) {
            *at = node->next;
            delete node;
            --elementCount;
            ++dropped;
        } else {
            at = &node->next;
        }
    }
    return dropped;
}

void MessageQueue::setOnQueued(std::function<void()> hook) {
    std::unique_lock<std::shared_mutex> lock(hookMutex);
    onQueued = std::move(hook);
}

uint8_t MessageQueue::getElementCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return elementCount;
}

uint8_t MessageQueue::getErrorCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<uint8_t>(refused);
}

uint32_t MessageQueue::getRefusedCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return refused;
}

}  // namespace ORQ
