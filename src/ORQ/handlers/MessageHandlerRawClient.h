#pragma once
// Mirrors a block of bytes of a remote device into its model: a report of
// dataTypeSet of any size lands at the start of the block (channel ignored),
// cut to the block's capacity; bytes beyond it keep their content. send()
// writes a piece of the block on the device with a message of dataTypeSet
// (not dataTypeGet), channel = the piece's byte offset; true when queued.
//
// Threads: procNewMessage() on the receive thread, send() on a host thread,
// both under the component's data lock.
#include <cstdint>

#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandlerRawClient : public MessageHandler {
public:
    // dataSize is the block's capacity in bytes (copied).
    MessageHandlerRawClient(int8_t* data, uint8_t dataSize, uint8_t dataTypeSet, uint8_t dataTypeGet);
    ~MessageHandlerRawClient() override;

    // Sends dataSize bytes taken from the caller's data (not from the block)
    // on channel index.
    bool send(uint8_t index, int8_t* data, uint8_t dataSize);
    // Sends nothing; part of the client interface, no caller.
    void RequestUpdate(uint8_t index);

    int8_t* data;
    uint8_t dataSize;

protected:
    // A report longer than the capacity has its dataSize lowered to the
    // capacity in m itself before the copy.
    bool store(Message& m) override;
};

}  // namespace ORQ
