#pragma once
// Process-wide state of the library, shared by the lifecycle functions, the
// data calls and the Java bindings. Written only by init/deinit (never
// concurrently with the data calls); null before the first init.
#include "MessageManager.h"
#include "MessageSystem.h"

namespace ORQ {
class UartSerial;
}

namespace Library {

ORQ::MessageManager* manager();        // mm of the last start, or null
ORQ::MessageSystem* messageSystem();   // ms of the last start, or null

}  // namespace Library
