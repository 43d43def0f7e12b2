#pragma once
// Where the exported functions find the library's current start. init and
// deinit replace or stop it; every other call takes a shared reference for
// its whole duration, so a restart on another thread never frees what a call
// is still using: the call finishes on the old instance, or (before the first
// init) finds none and returns -62.
#include <memory>

#include "LibraryInstance.h"

namespace Library {

// The instance of the last start (kept after deinit, so the last mirrored
// values stay readable), or null before the first init. Any thread.
std::shared_ptr<LibraryInstance> current();

// Test seam: makes the data calls use a manager and message system that the
// caller built and owns, with no serial device; null, null puts the library
// back to its unstarted state. Only while the library is not started: the
// instance it replaces is stopped and let go.
void installForTesting(ORQ::MessageManager* manager, ORQ::MessageSystem* messageSystem);

}  // namespace Library
