// The host's list of nodes: the IDs in the world model and their type codes
// (the code of each one's device kind, -1 for a component that is no kind's
// model, as a sender still waiting for its type reply), taken in one pass
// under the world-model lock; and the wait for one node to be typed.
//
// Runs on any host thread, also during a restart: the exported call holds the
// instance it found for its whole duration. The world-model lock
// keeps every component of the list alive while it is read; nothing else is
// locked, so the call never waits for a component's data lock.
#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "datamaps/DeviceKind.h"
#include "host/Dll.h"
#include "host/Library.h"
#include "routing/MessageManager.h"
#include "routing/WorldModel.h"

namespace {

int listComponents(LibraryInstance& instance, int* ids, int* types, int* size) {
    ORQ::MessageManager* mm = instance.manager();
    if (!size) return ERROR_BUFFER_TOO_SMAL;
    const int slots = *size > 0 ? *size : 0;
    if (slots > 0 && (!ids || !types)) return ERROR_BUFFER_TOO_SMAL;

    // While a type reply is being taken in, the new model (at the head) and
    // the placeholder it replaces briefly share an ID; lookups find the
    // first, so only the first of an ID is listed. Retired components (ID 0)
    // are not nodes.
    std::bitset<256> listed;
    int found = 0;
    mm->getWorldModel()->forEach([&](const ORQ::Component& c) {
        const uint8_t id = c.ID;
        if (id == 0 || listed[id]) return;
        listed[id] = true;
        if (found < slots) {
            ids[found] = id;
            // A model's type and class are set when it is built and never
            // change, so they are read without the component's data lock.
            types[found] = DeviceKind::listedCode(c);
        }
        ++found;
    });
    *size = found;
    return found > slots ? ERROR_BUFFER_TOO_SMAL : ERROR_NO;
}

// Whether the first component of this ID is a device kind's model (the one
// lookups find; see listComponents).
bool typed(LibraryInstance& instance, uint8_t id) {
    bool seen = false, known = false;
    instance.manager()->getWorldModel()->forEach([&](const ORQ::Component& c) {
        if (seen || c.ID != id) return;
        seen = true;
        known = DeviceKind::listedCode(c) >= 0;
    });
    return known;
}

}  // namespace

int Library::waitForComponent(LibraryInstance& instance, int id, int timeoutMs) {
    if (id < 1 || id > 255 || timeoutMs < 0) return ERROR_INVALID_VALUE;
    try {
        // Polled, not signalled: a node is typed once per start, and a wait
        // for it is rare, so a few milliseconds of latency cost nothing,
        // while a signal would reach into the receive path for every host.
        const auto step = std::chrono::milliseconds(5);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (!instance.takesSets()) return ERROR_START_DLL;
            if (typed(instance, static_cast<uint8_t>(id))) return ERROR_NO;
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return ERROR_COMPONENT_NOT_SUPPORTED;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(step, deadline - now));
        }
    } catch (...) {
        return ERROR_UNEXPECTED_EXCEPTION;
    }
}

int Library::getComponents(LibraryInstance& instance, int* ids, int* types, int* size) {
    // No exception may reach the host (a failing system lock, say).
    try {
        return listComponents(instance, ids, types, size);
    } catch (...) {
        return ERROR_UNEXPECTED_EXCEPTION;
    }
}

extern "C" int getComponents(int* ids, int* types, int* size) {
    return Library::onCurrent(&Library::getComponents, ids, types, size);
}

extern "C" int waitForComponent(int id, int timeoutMs) {
    // Before the first init nothing runs that could type a node: the same
    // code as a wait on a stopped start, not the -62 of a timeout.
    const std::shared_ptr<LibraryInstance> instance = Library::current();
    return instance ? Library::waitForComponent(*instance, id, timeoutMs) : ERROR_START_DLL;
}
