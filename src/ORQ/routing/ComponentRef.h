#pragma once
// A use of one component, held for as long as the ref lives: the world model
// never removes a component with a use, and the ref's data lock (taken by
// lock(), at most 1000 ms of waiting on a monotonic clock) is given back with
// the use on every way out, a throw included. The only way the library works
// on a component from outside its own message processing.
//
// Threads: any. One ref belongs to one thread; the use count is atomic.
// Take a ref on a component in a world model only under the world-model lock
// (WorldModel::acquireComponent does), so the clean-up sees every use; a
// component outside any world model (the ego, a test's) may be taken freely.
#include <cstdint>
#include <mutex>

#include "node/Component.h"

namespace ORQ {

class ComponentRef {
public:
    ComponentRef() noexcept : c(nullptr) {}
    // A use of c (none for null); see the header comment for when.
    explicit ComponentRef(Component* c) noexcept;
    // Unlocks, then gives the use back; the last use of a retired component
    // (ID 0) wakes its manager's main loop, whose next tick removes it.
    ~ComponentRef();
    ComponentRef(ComponentRef&& other) noexcept;
    ComponentRef& operator=(ComponentRef&& other) noexcept;
    ComponentRef(const ComponentRef&) = delete;
    ComponentRef& operator=(const ComponentRef&) = delete;

    // Takes the data lock unless the ref holds it already; false when the
    // ref is empty or the lock was not free within 1000 ms.
    bool lock();
    // Takes the data lock only if it is free now (or the ref holds it).
    bool tryLock();
    // True while this ref holds the data lock.
    bool locked() const { return data.owns_lock(); }

    Component* get() const { return c; }
    Component* operator->() const { return c; }
    explicit operator bool() const { return c != nullptr; }

private:
    void reset() noexcept;

    Component* c;
    std::unique_lock<DataLock> data;
};

}  // namespace ORQ
