#pragma once
// Mirrors two 3-axis vectors of a remote device that travel together in one
// report (dataTypeSet, 12 bytes: first x, y, z then second x, y, z, each
// little-endian) into element n of two model arrays, n being the channel.
//
// Threads: procNewMessage() on the receive thread under the component's data
// lock; send() on a host thread under the same lock.
#include <cstdint>

#include "node/MessageHandler.h"
#include "libZIR/Vector3Dint16.h"

namespace ORQ {

class MessageHandler2Vector3Dint16Client : public MessageHandler {
public:
    static const uint8_t payloadSize = 12;

    // dataSize is not read. dataCapacity is the length of the
    // shorter of the two arrays; a channel at or beyond it is never stored.
    MessageHandler2Vector3Dint16Client(TALVEK::ZIR::Vector3Dint16* data0,
                                       TALVEK::ZIR::Vector3Dint16* data1, const uint8_t* dataSize,
                                       uint8_t dataTypeSet, uint8_t dataTypeGet, uint8_t dataCapacity);
    ~MessageHandler2Vector3Dint16Client() override;

    // Sends nothing; part of the client interface, no caller.
    void send(uint8_t receiver, uint8_t index);

    TALVEK::ZIR::Vector3Dint16* data0;
    TALVEK::ZIR::Vector3Dint16* data1;

protected:
    bool store(Message& m) override;
};

}  // namespace ORQ
