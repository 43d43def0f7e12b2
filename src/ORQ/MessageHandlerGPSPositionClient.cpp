#include "MessageHandlerGPSPositionClient.h"

#include "ClientMessage.h"
#include "Component.h"

namespace ORQ {

MessageHandlerGPSPositionClient::MessageHandlerGPSPositionClient(Container::GPSPosition* data,
                                                                 const uint8_t* dataSize,
                                                                 uint8_t dataTypeSet,
                                                                 uint8_t dataTypeGet,
                                                                 uint8_t dataCapacity)
    : data(data), dataSize(dataSize), dataTypeSet(dataTypeSet), dataTypeGet(dataTypeGet),
      dataCapacity(dataCapacity) {}

MessageHandlerGPSPositionClient::~MessageHandlerGPSPositionClient() {}

uint8_t MessageHandlerGPSPositionClient::procNewMessage(Message* m) {
    if (m->senderID != component->ID) return 0;
    if (m->dataType != dataTypeSet) return 0;
    if (m->dataSize != Container::GPSPosition::wireSize) return 0;
    if (m->channel >= dataCapacity) return 0;
    Container::GPSPosition& p = data[m->channel];
    p.longitude = ClientMessage::getInt32(m->data);
    p.latitude = ClientMessage::getInt32(m->data + 4);
    p.altitude = ClientMessage::getInt32(m->data + 8);
    p.status = m->data[12];
    component->setUpdate();
    dataCount++;
    return 0;
}

void MessageHandlerGPSPositionClient::send(uint8_t receiver, uint8_t index) {
    (void)receiver;
    (void)index;
}

}  // namespace ORQ
