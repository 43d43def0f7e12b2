#pragma once
// Mirrors four 16-bit values of a remote device that travel together in one
// report (dataTypeSet, 8 bytes little-endian, on the client's one channel)
// into four separate fields of the model.
//
// Threads: procNewMessage() on the receive thread under the component's data
// lock; send() on a host thread under the same lock.
#include <cstdint>

#include "node/MessageHandler.h"

namespace ORQ {

class MessageHandler4Int16Client : public MessageHandler {
public:
    MessageHandler4Int16Client(int16_t* data0, int16_t* data1, int16_t* data2, int16_t* data3,
                               uint8_t channel, uint8_t dataTypeSet, uint8_t dataTypeGet);
    ~MessageHandler4Int16Client() override;

    // Sends nothing; part of the client interface, no caller.
    void send(uint8_t receiver, uint8_t index);

    int16_t* data0;
    int16_t* data1;
    int16_t* data2;
    int16_t* data3;
    uint8_t channel;  // the one channel its reports are taken on

protected:
    bool store(Message& m) override;
};

}  // namespace ORQ
