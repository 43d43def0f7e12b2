#include "handlers/MessageHandlerVector3Dint16Client.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"
#include "wire/Payload.h"

namespace ORQ {

MessageHandlerVector3Dint16Client::MessageHandlerVector3Dint16Client(TALVEK::ZIR::Vector3Dint16* data,
                                                                     const uint8_t* dataSize,
                                                                     uint8_t dataTypeSet,
                                                                     uint8_t dataTypeGet,
                                                                     uint8_t dataCapacity)
    : MessageHandler(dataTypeSet, dataTypeGet, dataCapacity, payloadSize), data(data), dataSize(dataSize) {}

MessageHandlerVector3Dint16Client::~MessageHandlerVector3Dint16Client() {}

bool MessageHandlerVector3Dint16Client::store(Message& m) {
    TALVEK::ZIR::Vector3Dint16& v = data[m.channel];
    v.x = Payload::getInt16(m.data);
    v.y = Payload::getInt16(m.data + 2);
    v.z = Payload::getInt16(m.data + 4);
    return true;
}

void MessageHandlerVector3Dint16Client::send(uint8_t receiver, uint8_t index) {
    (void)receiver;
    if (index >= *dataSize || index >= dataCapacity) return;
    uint8_t payload[payloadSize];
    Payload::putInt16(payload, data[index].x);
    Payload::putInt16(payload + 2, data[index].y);
    Payload::putInt16(payload + 4, data[index].z);
    ClientMessage::send(*this, dataTypeGet, index, payload, sizeof(payload));
}

}  // namespace ORQ
