#include "handlers/MessageHandlerGPSPositionClient.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"
#include "wire/Payload.h"

namespace ORQ {

MessageHandlerGPSPositionClient::MessageHandlerGPSPositionClient(Container::GPSPosition* data,
                                                                 const uint8_t* dataSize,
                                                                 uint8_t dataTypeSet,
                                                                 uint8_t dataTypeGet,
                                                                 uint8_t dataCapacity)
    : MessageHandler(dataTypeSet, dataTypeGet, dataCapacity, Container::GPSPosition::wireSize), data(data) {
    (void)dataSize;
}

MessageHandlerGPSPositionClient::~MessageHandlerGPSPositionClient() {}

bool MessageHandlerGPSPositionClient::store(Message& m) {
    Container::GPSPosition& p = data[m.channel];
    p.longitude = Payload::getInt32(m.data);
    p.latitude = Payload::getInt32(m.data + 4);
    p.altitude = Payload::getInt32(m.data + 8);
    p.status = m.data[12];
    return true;
}

void MessageHandlerGPSPositionClient::send(uint8_t receiver, uint8_t index) {
    (void)receiver;
    (void)index;
}

}  // namespace ORQ
