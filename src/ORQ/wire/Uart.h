#pragma once
// Abstract byte link under a message system. The base class is a dead link.
#include <cstdint>

namespace ORQ {

class Uart {
public:
    enum {
        ERROR_NO = 0,
        ERROR_BUFFER_TO_SMAL = 1,
        ERROR_TOTAL_SEND_BUFFER_TO_SMAL = 2,
        ERROR_SEND_BUFFER_TO_SMAL = 3,
        ERROR_EXCEPTION = 4,
    };

    virtual ~Uart() {}
    // How many received bytes are waiting (a link may cap the figure).
    virtual uint8_t newData() { return 0; }
    // Hands all bufferSize bytes to the link: ERROR_NO, or non-zero when refused.
    virtual uint8_t send(uint8_t* buffer, uint8_t bufferSize) {
        (void)buffer;
        (void)bufferSize;
        return ERROR_BUFFER_TO_SMAL;
    }
    // Moves up to maxBufferSize waiting bytes, oldest first; returns how many.
    virtual uint8_t receive(uint8_t* buffer, uint8_t maxBufferSize) {
        (void)buffer;
        (void)maxBufferSize;
        return 0;
    }
};

}  // namespace ORQ
