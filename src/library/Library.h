#pragma once
// Process-wide state of the library, shared by the lifecycle functions, the
// data calls, the node list and the Java bindings. Written only by init/deinit (never
// concurrently with the data calls); null before the first init.
#include "MessageManager.h"
#include "MessageSystem.h"

namespace ORQ {
class UartSerial;
}

namespace Library {

ORQ::MessageManager* manager();        // mm of the last start, or null
ORQ::MessageSystem* messageSystem();   // ms of the last start, or null

// Test seam: makes the data calls use a manager and message system that the
// caller built and owns, with no serial device; null, null puts the library
// back to its unstarted state. Only while the library is not started: a later
// init would take the objects for its own and destroy them.
void installForTesting(ORQ::MessageManager* manager, ORQ::MessageSystem* messageSystem);

}  // namespace Library
