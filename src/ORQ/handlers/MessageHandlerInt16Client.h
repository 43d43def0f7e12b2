#pragma once
// Mirrors one array of 16-bit values of a remote device into its model (an
// unsigned field is stored bit for bit): a report of dataTypeSet with two
// bytes (little-endian) on channel n stores data[n]. send() sets element n on
// the device with a message of dataTypeGet.
//
// Threads: procNewMessage() on the receive thread, send() on a host thread,
// both under the component's data lock.
#include <cstdint>

#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandlerInt16Client : public MessageHandler {
public:
    // dataCapacity is the array's length; a channel at or beyond it is never
    // stored or sent.
    MessageHandlerInt16Client(int16_t* data, const uint8_t* dataSize, uint8_t dataTypeSet,
                              uint8_t dataTypeGet, uint8_t dataCapacity);
    ~MessageHandlerInt16Client() override;

    // Sets element index on the device. The callers check index against the
    // in-use count; here only the array's length is enforced. receiver is not
    // used: the message goes to the owning component. True when queued.
    bool send(uint8_t receiver, uint8_t index);

    int16_t* data;
    const uint8_t* dataSize;

protected:
    bool store(Message& m) override;
};

}  // namespace ORQ
