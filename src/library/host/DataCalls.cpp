// The host's data calls: find the component, hold its data lock for the whole
// batch, and hand each item to the data map of the component's kind
// (DeviceKind). A call that names the library's own ID reads the link
// statistics instead. A set while no link of the start runs (after deinit,
// after an init that failed) is refused before anything is looked at.
//
// Runs on any host thread, also while another thread calls init or deinit:
// each exported call holds the instance it found for its whole duration and
// hands over to the entry in Library.h that works on it.
#include <cstdint>

#include "datamaps/ComponentDLLInterface.h"
#include "datamaps/DeviceKind.h"
#include "host/Dll.h"
#include "host/Library.h"
#include "routing/ComponentRef.h"
#include "routing/MessageManager.h"
#include "routing/WorldModel.h"

namespace {

// Hands the items one by one to a map part, part(dataID, index, &slot,
// &slotsLeft); stops at the first failure, which leaves *size as the host
// passed it. On success *size becomes the number of slots used.
template <class Part>
int runItems(Part part, const int* dataIDs, const int* indexs, int komplexSize, int* value, int* size) {
    int* slot = value;
    int left = *size;
    for (int i = 0; i < komplexSize; ++i) {
        // Every part refuses an item without a slot before looking at it; so
        // does this loop, so that a host's item count larger than its arrays
        // never makes it read past the slots the host gave.
        if (left <= 0) return ERROR_BUFFER_TOO_SMAL;
        const int result = part(dataIDs[i], indexs[i], &slot, &left);
        if (result != ERROR_NO) return result;
    }
    // A negative count means no slots; only a batch without items gets here with one.
    *size = *size > 0 ? *size - left : 0;
    return ERROR_NO;
}

int dataKomplex(LibraryInstance& instance, bool set, int componenID, int* dataIDs, int* indexs, int komplexSize,
                int* value, int* size) {
    ORQ::MessageManager* mm = instance.manager();
    if (!size || (komplexSize > 0 && (!value || !dataIDs || !indexs))) return ERROR_BUFFER_TOO_SMAL;

    const uint8_t id = static_cast<uint8_t>(componenID & 0xFF);
    if (id != 0 && id == mm->getMyID()) {
        ORQ::MessageSystem* ms = instance.messageSystem();
        if (!ms) return ERROR_COMPONENT_NOT_SUPPORTED;
        const auto part = set ? &ComponentDLLInterface::setDataKomplexPart : &ComponentDLLInterface::getDataKomplexPart;
        return runItems([&](int dataID, int index, int** slot, int* left) { return part(ms, dataID, index, slot, left); },
                        dataIDs, indexs, komplexSize, value, size);
    }

    // Held in use and data-locked for the whole batch; both are given back
    // on every way out.
    ORQ::ComponentRef use = mm->getWorldModel()->acquireComponent(id);
    if (!use.lock()) return ERROR_COMPONENT_NOT_SUPPORTED;
    ORQ::Component& c = *use.get();
    const DeviceKind* kind = DeviceKind::of(c.type);
    if (!kind) return ERROR_COMPONENTTYPE_NOT_SUPPORTED;
    // A placeholder still waiting for its type reply also carries type 0.
    if (!kind->models(c)) return ERROR_COMPONENT_NOT_SUPPORTED;
    const DeviceKind::Part part = set ? kind->set : kind->get;
    return runItems([&](int dataID, int index, int** slot, int* left) { return part(c, dataID, index, slot, left); },
                    dataIDs, indexs, komplexSize, value, size);
}

// No exception may reach the host: anything unforeseen below (a failing
// system lock, say) is reported as such, after the component was given back.
// A set is made only while the start's link may carry it (see LibraryInstance).
int guardedDataKomplex(LibraryInstance& instance, bool set, int componenID, int* dataIDs, int* indexs,
                       int komplexSize, int* value, int* size) {
    try {
        if (set) {
            return instance.takeSet(
                [&] { return dataKomplex(instance, true, componenID, dataIDs, indexs, komplexSize, value, size); });
        }
        return dataKomplex(instance, false, componenID, dataIDs, indexs, komplexSize, value, size);
    } catch (...) {
        return ERROR_UNEXPECTED_EXCEPTION;
    }
}

}  // namespace

namespace Library {

int getDataKomplex(LibraryInstance& instance, int componenID, int* dataIDs, int* indexs, int komplexSize, int* value,
                   int* size) {
    return guardedDataKomplex(instance, false, componenID, dataIDs, indexs, komplexSize, value, size);
}

int setDataKomplex(LibraryInstance& instance, int componenID, int* dataIDs, int* indexs, int komplexSize, int* value,
                   int* size) {
    return guardedDataKomplex(instance, true, componenID, dataIDs, indexs, komplexSize, value, size);
}

int getData(LibraryInstance& instance, int componenID, int dataID, int* value, int index) {
    int slots = 1;
    return Library::getDataKomplex(instance, componenID, &dataID, &index, 1, value, &slots);
}

int setData(LibraryInstance& instance, int componenID, int dataID, int value, int index) {
    int slots = 1;
    return Library::setDataKomplex(instance, componenID, &dataID, &index, 1, &value, &slots);
}

}  // namespace Library

extern "C" {

int getDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size) {
    return Library::onCurrent(&Library::getDataKomplex, componenID, dataIDs, indexs, komplexSize, value, size);
}

int setDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size) {
    return Library::onCurrent(&Library::setDataKomplex, componenID, dataIDs, indexs, komplexSize, value, size);
}

int getData(int componenID, int dataID, int* value, int index) {
    return Library::onCurrent(&Library::getData, componenID, dataID, value, index);
}

int setData(int componenID, int dataID, int value, int index) {
    return Library::onCurrent(&Library::setData, componenID, dataID, value, index);
}

int getDataRaw(int componenID, int dataID, int* value, int* size, int index) {
    (void)componenID;
    (void)dataID;
    (void)value;
    (void)size;
    (void)index;
    return ERROR_UNEXPECTED_EXCEPTION;
}

// These two do not wait: they answer at once with a fixed function of their
// arguments (products taken in 32 bits, wrapping).
int waitForData(int ComponenID, int DataID, int* value) {
    if (!value) return ERROR_BUFFER_TOO_SMAL;
    *value = static_cast<int>(static_cast<uint32_t>(ComponenID) * static_cast<uint32_t>(DataID) * 4u);
    return ERROR_NO;
}

int waitForDataValue(int ComponenID, int DataID, int* value, int exceptedValue) {
    (void)exceptedValue;
    if (!value) return ERROR_BUFFER_TOO_SMAL;
    *value = static_cast<int>(static_cast<uint32_t>(ComponenID) * static_cast<uint32_t>(DataID) * 3u);
    return ERROR_NO;
}

}  // extern "C"
