#include "HostCalls.h"

#include "host/Library.h"

namespace ORQ {
namespace test {

HostCalls::HostCalls(MessageManager& mm, MessageSystem& ms) : instance(&mm, &ms) {}

int HostCalls::getData(int componenID, int dataID, int* value, int index) {
    return Library::getData(instance, componenID, dataID, value, index);
}

int HostCalls::setData(int componenID, int dataID, int value, int index) {
    return Library::setData(instance, componenID, dataID, value, index);
}

int HostCalls::getDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size) {
    return Library::getDataKomplex(instance, componenID, dataIDs, indexs, komplexSize, value, size);
}

int HostCalls::setDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size) {
    return Library::setDataKomplex(instance, componenID, dataIDs, indexs, komplexSize, value, size);
}

int HostCalls::getComponents(int* ids, int* types, int* size) {
    return Library::getComponents(instance, ids, types, size);
}

int HostCalls::waitForComponent(int id, int timeoutMs) {
    return Library::waitForComponent(instance, id, timeoutMs);
}

}  // namespace test
}  // namespace ORQ
