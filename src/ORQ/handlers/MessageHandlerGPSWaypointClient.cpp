#include "handlers/MessageHandlerGPSWaypointClient.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"
#include "wire/Payload.h"

namespace ORQ {

MessageHandlerGPSWaypointClient::MessageHandlerGPSWaypointClient(Container::GPSWaypoint* data,
                                                                 const uint8_t* dataSize,
                                                                 uint8_t dataTypeSet,
                                                                 uint8_t dataTypeGet,
                                                                 uint8_t dataCapacity)
    : MessageHandler(dataTypeSet, dataTypeGet, dataCapacity, payloadSize), data(data), dataSize(dataSize) {}

MessageHandlerGPSWaypointClient::~MessageHandlerGPSWaypointClient() {}

bool MessageHandlerGPSWaypointClient::store(Message& m) {
    const uint8_t n = m.channel;
    Container::GPSWaypoint::GPSPoint_t& p = data[n].point;
    const uint8_t* b = m.data;
    p.Index = static_cast<uint8_t>(n + 1);
    p.Position.longitude = Payload::getInt32(b);
    p.Position.latitude = Payload::getInt32(b + 4);
    p.Position.altitude = Payload::getInt32(b + 8);
    p.Position.status = b[12];
    p.Heading = Payload::getInt16(b + 13);
    p.ToleranceRadius = b[15];
    p.HoldTime = b[16];
    p.Type = b[17];
    return true;
}

bool MessageHandlerGPSWaypointClient::set(uint8_t index) {
    if (index >= *dataSize || index >= dataCapacity) return false;
    const Container::GPSWaypoint::GPSPoint_t& p = data[index].point;
    uint8_t b[payloadSize];
    Payload::putInt32(b, p.Position.longitude);
    Payload::putInt32(b + 4, p.Position.latitude);
    Payload::putInt32(b + 8, p.Position.altitude);
    b[12] = p.Position.status;
    Payload::putInt16(b + 13, p.Heading);
    b[15] = p.ToleranceRadius;
    b[16] = p.HoldTime;
    b[17] = p.Type;
    return ClientMessage::send(*this, dataTypeGet, index, b, sizeof(b));
}

void MessageHandlerGPSWaypointClient::get(uint8_t index) {
    ClientMessage::send(*this, dataTypeGet, index, nullptr, 0);
}

}  // namespace ORQ
