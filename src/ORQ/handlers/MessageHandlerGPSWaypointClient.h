#pragma once
// Mirrors the waypoint slots of a flight board into its model and writes them
// back. On the wire a waypoint is 18 bytes: the first 17 bytes of the record
// (position, Heading, ToleranceRadius, HoldTime) followed by Type; the slot
// number travels in the channel, and slot n's record carries Index n + 1.
// A report has dataTypeSet; a write (18 bytes) and a request (empty) both have
// dataTypeGet.
//
// Threads: procNewMessage() on the receive thread, set() and get() on a host
// thread, all under the component's data lock.
#include <cstdint>

#include "Container/GPSWaypoint.h"
#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandlerGPSWaypointClient : public MessageHandler {
public:
    static const uint8_t payloadSize = 18;

    // dataCapacity is the array's length; a slot at or beyond it is never
    // stored or sent.
    MessageHandlerGPSWaypointClient(Container::GPSWaypoint* data, const uint8_t* dataSize,
                                    uint8_t dataTypeSet, uint8_t dataTypeGet, uint8_t dataCapacity);
    ~MessageHandlerGPSWaypointClient() override;

    // Writes slot index to the flight board; nothing when index >= *dataSize.
    // True when the message was queued.
    bool set(uint8_t index);
    // Asks the flight board to report slot index (no index check).
    void get(uint8_t index);

    Container::GPSWaypoint* data;
    const uint8_t* dataSize;

protected:
    // Replaces the travelling fields and Index of the slot; the record's
    // other fields are kept.
    bool store(Message& m) override;
};

}  // namespace ORQ
