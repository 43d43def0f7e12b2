#pragma once
// Mirrors one array of GPS positions of a remote device into its model: a
// report of dataTypeSet with 13 packed bytes (longitude, latitude, altitude
// as little-endian int32, then the status byte) on channel n replaces data[n].
//
// Threads: procNewMessage() on the receive thread under the component's data
// lock; send() on a host thread under the same lock.
#include <cstdint>

#include "Container/GPSPosition.h"
#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandlerGPSPositionClient : public MessageHandler {
public:
    // dataSize is not read. dataCapacity is the array's length; a
    // channel at or beyond it is never stored.
    MessageHandlerGPSPositionClient(Container::GPSPosition* data, const uint8_t* dataSize,
                                    uint8_t dataTypeSet, uint8_t dataTypeGet, uint8_t dataCapacity);
    ~MessageHandlerGPSPositionClient() override;

    // Sends nothing; part of the client interface, no caller.
    void send(uint8_t receiver, uint8_t index);

    Container::GPSPosition* data;

protected:
    bool store(Message& m) override;
};

}  // namespace ORQ
