#include "MessageQueue.h"

#include <boost/chrono/duration.hpp>
#include <boost/chrono/system_clocks.hpp>
#include <cstring>
#include <new>

namespace ORQ {

MessageQueue::MessageQueue() : elementCount(0), start(nullptr), errorCount(0), taken(nullptr), woken(false) {}

MessageQueue::~MessageQueue() {
    while (start) {
        MessageQueueNode* node = start;
        start = node->next;
        delete node;
    }
}

void MessageQueue::add(Message* m) {
    boost::mutex::scoped_lock lock(mutex);
    if (searchAndReplaceUniqueMessages(m) == 1) return;
    if (elementCount >= maxElements) {
        ++errorCount;
        return;
    }

    MessageQueueNode* node = new (std::nothrow) MessageQueueNode(m);
    // Without memory for the node or its payload the message is refused like
    // one that finds the queue full; a copy without its payload is never sent.
    if (!node || node->message.dataSize != m->dataSize) {
        delete node;
        ++errorCount;
        return;
    }
    ++elementCount;

    const uint8_t priority = node->message.priority;
    if (!start) {
        start = node;
    } else if (start->message.priority < priority) {
        node->next = start;
        start = node;
    } else {
        // Behind the head, the newest of equal priority stands first.
        MessageQueueNode* at = start;
        while (at->next && at->next->message.priority > priority) at = at->next;
        node->next = at->next;
        at->next = node;
    }
    changed.notify_one();
}

uint8_t MessageQueue::searchAndReplaceUniqueMessages(const Message* m) {
    if (m->properties.unique == 0) return 0;
    if (m->dataSize > 0 && !m->data) return 0;  // nothing to copy; add() refuses it
    for (MessageQueueNode* node = start; node; node = node->next) {
        // The taken message is being framed outside the lock: its bytes must
        // not change, and it is about to be removed, so a refresh of it has to
        // go into a node of its own.
        if (node == taken) continue;
        Message& queued = node->message;
        if (queued.isEqualForUnique(m) && queued.dataSize == m->dataSize) {
            if (m->dataSize > 0) std::memcpy(queued.data, m->data, m->dataSize);
            node->queuedAt = std::chrono::steady_clock::now();  // the value is new
            return 1;
        }
    }
    return 0;
}

Message* MessageQueue::getFirstMessage() {
    boost::mutex::scoped_lock lock(mutex);
    taken = start;
    return start ? &start->message : nullptr;
}

void MessageQueue::deleteFirst() {
    boost::mutex::scoped_lock lock(mutex);
    MessageQueueNode* victim = taken ? taken : start;
    taken = nullptr;
    if (!victim) return;

    // A higher-priority message may have been put in front of the taken one.
    MessageQueueNode** link = &start;
    while (*link != victim) link = &(*link)->next;
    *link = victim->next;
    delete victim;
    --elementCount;
}

uint8_t MessageQueue::dropOlderThan(std::chrono::steady_clock::time_point cutoff) {
    boost::mutex::scoped_lock lock(mutex);
    uint8_t dropped = 0;
    MessageQueueNode** link = &start;
    while (*link) {
        MessageQueueNode* node = *link;
        if (node != taken && node->queuedAt < cutoff) {
            *link = node->next;
            delete node;
            --elementCount;
            ++dropped;
        } else {
            link = &node->next;
        }
    }
    return dropped;
}

void MessageQueue::waitForMessage(unsigned timeoutMs) {
    boost::mutex::scoped_lock lock(mutex);
    const boost::chrono::steady_clock::time_point deadline =
        boost::chrono::steady_clock::now() + boost::chrono::milliseconds(timeoutMs);
    while (!woken && (start == nullptr || start == taken)) {
        if (changed.wait_until(lock, deadline) == boost::cv_status::timeout) break;
    }
    woken = false;
}

void MessageQueue::wake() {
    boost::mutex::scoped_lock lock(mutex);
    woken = true;
    changed.notify_all();
}

uint8_t MessageQueue::getElementCount() {
    boost::mutex::scoped_lock lock(mutex);
    return elementCount;
}

uint8_t MessageQueue::getErrorCount() {
    boost::mutex::scoped_lock lock(mutex);
    return errorCount;
}

}  // namespace ORQ
