#pragma once
// The library's receive side without threads or a device: a manager switched
// as the library's start switches it, one driver-mode message system, and the
// serial driver, into which the benchmark hands bytes exactly as its receive
// thread hands on what it reads from the port. Flight board `boardID` is
// mirrored already (placeholder, type reply, typed model; the placeholder is
// gone).
#include <cstdint>

#include "BenchSupport.h"
#include "MessageManager.h"
#include "MessageSystem.h"
#include "UartSerial.h"

namespace bench {

class ReceiveRig {
public:
    static const uint8_t hostID = 255;
    static const uint8_t boardID = 5;

    ReceiveRig();

    // Bytes as one read of the port delivered them.
    void feed(const Bytes& bytes) { uart.procReceivedBytes(bytes.data(), bytes.size()); }
    // acc[0].x of the board as the host would read it, or -1 without the board.
    int accX();

    ORQ::MessageManager mm;
    ORQ::MessageSystem ms;
    ORQ::UartSerial uart;
};

}  // namespace bench
