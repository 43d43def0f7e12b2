#pragma once
// The host's data calls on a library instance over a manager and message
// system the test built and owns: what the exported functions do once they
// have found the current start, without starting the library (no link, no
// main loop) and without touching the process's current start.
//
// Threads: every call may be made from any thread, as the host's may; the
// manager and message system must outlive this object.
#include "host/LibraryInstance.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

namespace ORQ {
namespace test {

class HostCalls {
public:
    HostCalls(MessageManager& mm, MessageSystem& ms);

    int getData(int componenID, int dataID, int* value, int index);
    int setData(int componenID, int dataID, int value, int index);
    int getDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size);
    int setDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size);
    int getComponents(int* ids, int* types, int* size);
    int waitForComponent(int id, int timeoutMs);

private:
    LibraryInstance instance;
};

}  // namespace test
}  // namespace ORQ
