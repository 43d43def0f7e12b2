#pragma once
// Mirrors one array of 3-axis vectors of a remote device into its model: a
// report of dataTypeSet with 6 bytes (x, y, z little-endian) on channel n
// replaces data[n]. send() sets element n on the device with dataTypeGet.
//
// Threads: procNewMessage() on the receive thread, send() on a host thread,
// both under the component's data lock.
#include <cstdint>

#include "node/MessageHandler.h"
#include "libZIR/Vector3Dint16.h"

namespace ORQ {

class MessageHandlerVector3Dint16Client : public MessageHandler {
public:
    static const uint8_t payloadSize = 6;

    // dataCapacity is the array's length; a channel at or beyond it is never
    // stored or sent.
    MessageHandlerVector3Dint16Client(TALVEK::ZIR::Vector3Dint16* data, const uint8_t* dataSize,
                                      uint8_t dataTypeSet, uint8_t dataTypeGet, uint8_t dataCapacity);
    ~MessageHandlerVector3Dint16Client() override;

    // Sets element index on the device; nothing when index >= *dataSize.
    // receiver is not used: the message goes to the owning component.
    void send(uint8_t receiver, uint8_t index);

    TALVEK::ZIR::Vector3Dint16* data;
    const uint8_t* dataSize;

protected:
    bool store(Message& m) override;
};

}  // namespace ORQ
