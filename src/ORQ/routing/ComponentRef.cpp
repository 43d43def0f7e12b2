#include "routing/ComponentRef.h"

#include "routing/MessageManager.h"

namespace ORQ {

ComponentRef::ComponentRef(Component* component) noexcept : c(component) {
    if (c != nullptr) c->users.fetch_add(1);
}

ComponentRef::~ComponentRef() { reset(); }

ComponentRef::ComponentRef(ComponentRef&& other) noexcept : c(other.c), data(std::move(other.data)) {
    other.c = nullptr;
}

ComponentRef& ComponentRef::operator=(ComponentRef&& other) noexcept {
    if (this != &other) {
        reset();
        c = other.c;
        data = std::move(other.data);
        other.c = nullptr;
    }
    return *this;
}

void ComponentRef::reset() noexcept {
    // The lock goes before the use: once the use is back the component may
    // be destroyed.
    if (data.owns_lock()) data.unlock();
    data = std::unique_lock<DataLock>();
    if (c == nullptr) return;
    // Read before the use goes: from then on c may be destroyed.
    const bool retired = c->ID == 0;
    MessageManager* manager = c->mm;
    // The last use of a retired component wakes the main loop to remove it.
    if (c->users.fetch_sub(1) == 1 && retired && manager != nullptr) manager->wakeMainLoop();
    c = nullptr;
}

bool ComponentRef::tryLock() {
    if (c == nullptr) return false;
    if (!data.owns_lock()) data = std::unique_lock<DataLock>(c->mutexData, std::try_to_lock);
    return data.owns_lock();
}

bool ComponentRef::lock() {
    if (c == nullptr) return false;
    if (data.owns_lock()) return true;
    data = c->lockData();
    return data.owns_lock();
}

}  // namespace ORQ
