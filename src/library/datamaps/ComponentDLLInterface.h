#pragma once
// Data map of the library's own link: the host reaches it by naming the
// library's own component ID. Reads give the statistics of the link's message
// system (45 receiveError, 46 receivedMessages, 47 receivedBytes), of its
// send queue (48 messages older than the hold time dropped unsent while the
// link was down, 49 messages the queue refused) and 50 linkEnded (1 once a
// replay has handed over its last record); nothing can be set. The index is
// not looked at.
//
// Stateless. The receive counters are atomics written by the link's threads
// and the queue's count is read under the queue's lock, so any host thread
// may read them.
//
// Slot contract as in the device maps: -66 when *size <= 0, then -63 for an
// ID without an entry; on success one slot is filled, *value advances by one
// slot and *size drops by one.
namespace ORQ {
class MessageSystem;
}

class ComponentDLLInterface {
public:
    static int getDataKomplexPart(ORQ::MessageSystem* ms, int dataID, int index, int** value, int* size);
    static int setDataKomplexPart(ORQ::MessageSystem* ms, int dataID, int index, int** value, int* size);
};
