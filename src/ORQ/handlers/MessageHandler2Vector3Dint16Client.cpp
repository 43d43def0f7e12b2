#include "handlers/MessageHandler2Vector3Dint16Client.h"

#include "handlers/ClientMessage.h"
#include "node/Component.h"
#include "wire/Payload.h"

namespace ORQ {

MessageHandler2Vector3Dint16Client::MessageHandler2Vector3Dint16Client(
    TALVEK::ZIR::Vector3Dint16* data0, TALVEK::ZIR::Vector3Dint16* data1, const uint8_t* dataSize,
    uint8_t dataTypeSet, uint8_t dataTypeGet, uint8_t dataCapacity)
    : MessageHandler(dataTypeSet, dataTypeGet, dataCapacity, payloadSize), data0(data0), data1(data1) {
    (void)dataSize;
}

MessageHandler2Vector3Dint16Client::~MessageHandler2Vector3Dint16Client() {}

bool MessageHandler2Vector3Dint16Client::store(Message& m) {
    TALVEK::ZIR::Vector3Dint16& a = data0[m.channel];
    TALVEK::ZIR::Vector3Dint16& b = data1[m.channel];
    a.x = Payload::getInt16(m.data);
    a.y = Payload::getInt16(m.data + 2);
    a.z = Payload::getInt16(m.data + 4);
    b.x = Payload::getInt16(m.data + 6);
    b.y = Payload::getInt16(m.data + 8);
    b.z = Payload::getInt16(m.data + 10);
    return true;
}

void MessageHandler2Vector3Dint16Client::send(uint8_t receiver, uint8_t index) {
    (void)receiver;
    (void)index;
}

}  // namespace ORQ
