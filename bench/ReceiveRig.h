#pragma once
// The library's receive side without threads or a device: a manager switched
// as the library's start switches it, one driver-mode message system, and the
// pump of a serial link that is never opened, into which the benchmark hands
// bytes exactly as the pump hands on what the link reads from the port. `boards` flight boards are
// mirrored already (placeholder, type reply, typed model; the placeholders
// are gone): board `boardID` first, so that it is the oldest of them, then
// IDs 1, 2, 3 ... as needed.
#include <cstdint>

#include "BenchSupport.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "host/Pump.h"
#include "link/UartSerial.h"

namespace bench {

class ReceiveRig {
public:
    static const uint8_t hostID = 255;
    static const uint8_t boardID = 5;
    static const unsigned maxBoards = 254;

    explicit ReceiveRig(unsigned boards = 1);

    // Bytes as one read of the port delivered them.
    void feed(const Bytes& bytes) { pump.procReceivedBytes(bytes.data(), bytes.size()); }
    // One main-loop tick, 10 ms after the previous one.
    void tick();
    // The manager time of the last tick.
    uint32_t time() const { return now; }
    // acc[0].x of the board as the host would read it, or -1 without the board.
    int accX();
    // Boards mirrored now.
    unsigned mirrored();

    ORQ::MessageManager mm;
    ORQ::MessageSystem ms;
    ORQ::UartSerial uart;
    ORQ::Pump pump;

private:
    void drainQueue();

    uint32_t now = 0;
};

}  // namespace bench
