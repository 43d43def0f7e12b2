#pragma once
// Mirrors one array of 32-bit values of a remote device into its model: a
// report of dataTypeSet with four bytes (little-endian) on channel n stores
// data[n], a reported 0 being stored as 1 (the field never holds 0 after a
// report). send() sets element n on the device with a message of dataTypeGet.
//
// Threads: procNewMessage() on the receive thread, send() on a host thread,
// both under the component's data lock.
#include <cstdint>

#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandlerInt32Client : public MessageHandler {
public:
    // dataCapacity is the array's length; a channel at or beyond it is never
    // stored or sent.
    MessageHandlerInt32Client(int32_t* data, const uint8_t* dataSize, uint8_t dataTypeSet,
                              uint8_t dataTypeGet, uint8_t dataCapacity);
    ~MessageHandlerInt32Client() override;

    // Sets element index on the device; nothing when index >= *dataSize.
    // True when the message was queued.
    bool send(uint8_t index);

    int32_t* data;
    const uint8_t* dataSize;

protected:
    bool store(Message& m) override;
};

}  // namespace ORQ
