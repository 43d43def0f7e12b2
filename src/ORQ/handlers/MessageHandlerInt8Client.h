#pragma once
// Mirrors one array of 8-bit values of a remote device (or the low byte of a
// wider field) into its model: a report of dataTypeSet with one byte on
// channel n stores data[n]. send() and RequestUpdate() ask the device to take
// or report element n with a message of dataTypeGet.
//
// Threads: procNewMessage() on the receive thread, send() and RequestUpdate()
// on a host thread, both under the component's data lock.
#include <cstdint>

#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandlerInt8Client : public MessageHandler {
public:
    // data/dataSize point into the model: the array and its in-use count.
    // dataCapacity is the array's length; a channel at or beyond it is never
    // stored or sent, whatever the count says.
    MessageHandlerInt8Client(int8_t* data, const uint8_t* dataSize, uint8_t dataTypeSet,
                             uint8_t dataTypeGet, uint8_t dataCapacity);
    ~MessageHandlerInt8Client() override;

    // Sets element index on the device; nothing when index >= *dataSize.
    // True when the message was queued.
    bool send(uint8_t index);
    // Asks the device to report element index (empty payload, no index check).
    void RequestUpdate(uint8_t index);

    int8_t* data;
    const uint8_t* dataSize;

protected:
    bool store(Message& m) override;
};

}  // namespace ORQ
