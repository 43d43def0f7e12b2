#include "handlers/MessageHandlerRawClient.h"

#include <cstring>

#include "handlers/ClientMessage.h"
#include "node/Component.h"

namespace ORQ {

MessageHandlerRawClient::MessageHandlerRawClient(int8_t* data, uint8_t dataSize, uint8_t dataTypeSet,
                                                 uint8_t dataTypeGet)
    : MessageHandler(dataTypeSet, dataTypeGet, 0, anySize, anyChannel), data(data), dataSize(dataSize) {}

MessageHandlerRawClient::~MessageHandlerRawClient() {}

bool MessageHandlerRawClient::store(Message& m) {
    if (m.dataSize > dataSize) m.dataSize = dataSize;
    if (m.dataSize > 0) std::memcpy(data, m.data, m.dataSize);
    return true;
}

bool MessageHandlerRawClient::send(uint8_t index, int8_t* data, uint8_t dataSize) {
    return ClientMessage::send(*this, dataTypeSet, index, reinterpret_cast<const uint8_t*>(data), dataSize);
}

void MessageHandlerRawClient::RequestUpdate(uint8_t index) { (void)index; }

}  // namespace ORQ
