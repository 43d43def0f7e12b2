#pragma once
// Where the exported functions find the library's current start, and the
// host's data calls on a given start that they hand over to.
//
// init and deinit replace or stop the current start; every other exported
// call takes a shared reference for its whole duration, so a restart on
// another thread never frees what a call is still using: the call finishes on
// the old instance, or (before the first init) finds none and returns -62.
// An exported data call only does that (onCurrent): it takes current() and
// calls the entry of the same name below, which does all the rest. Tests,
// benchmarks and fuzz targets call the entries on an instance they built
// themselves and never touch the current start.
//
// Every function here may be called from any thread at any time. The entries
// take no lock of their own (a data call holds the component's data lock, the
// node list the world-model lock, each for the call's duration) and return
// the codes of Dll.h: whatever their work throws is caught and reported as a
// code, so no exception leaves them.
#include <memory>

#include "host/Dll.h"
#include "host/LibraryInstance.h"

namespace Library {

// The instance of the last start (kept after deinit, so the last mirrored
// values stay readable; its sets are refused once it stopped, see
// LibraryInstance), or null before the first init.
std::shared_ptr<LibraryInstance> current();

// What an exported call does: entry(instance, args...) on the current start,
// held for the whole call; ERROR_COMPONENT_NOT_SUPPORTED before the first init.
template <class... Params, class... Args>
int onCurrent(int (*entry)(LibraryInstance&, Params...), Args... args) {
    const std::shared_ptr<LibraryInstance> instance = current();
    return instance ? entry(*instance, args...) : ERROR_COMPONENT_NOT_SUPPORTED;
}

// The data calls of Dll.h on `instance`. getData and setData are one-item
// batches.
int getDataKomplex(LibraryInstance& instance, int componenID, int* dataIDs, int* indexs, int komplexSize, int* value,
                   int* size);
int setDataKomplex(LibraryInstance& instance, int componenID, int* dataIDs, int* indexs, int komplexSize, int* value,
                   int* size);
int getData(LibraryInstance& instance, int componenID, int dataID, int* value, int index);
int setData(LibraryInstance& instance, int componenID, int dataID, int value, int index);
// getComponents of Dll.h on `instance`.
int getComponents(LibraryInstance& instance, int* ids, int* types, int* size);
// waitForComponent of Dll.h on `instance`.
int waitForComponent(LibraryInstance& instance, int id, int timeoutMs);

}  // namespace Library
