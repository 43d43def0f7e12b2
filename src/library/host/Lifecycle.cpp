// Start and stop of the whole library and the one place where the exported
// functions find the current start (Library::current).
//
// init and deinit may be called from any thread at any time, also while other
// threads make data calls: they are serialized by lifecycleMutex, and the
// current instance is swapped atomically, so a data call holds either the old
// instance (kept alive until it is done) or the new one.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "link/ConnectionString.h"
#include "host/Dll.h"
#include "host/Library.h"
#include "host/LibraryInstance.h"
#include "log/LogLine.h"

namespace {

// Serializes init and deinit; never taken by the data calls.
std::mutex lifecycleMutex;
// Read with std::atomic_load and written with std::atomic_store only.
std::shared_ptr<LibraryInstance> instance;

std::shared_ptr<LibraryInstance> exchange(std::shared_ptr<LibraryInstance> next) {
    return std::atomic_exchange(&instance, std::move(next));
}

// lifecycleMutex held.
void stopCurrent() {
    ORQ::logLine("[DLL] deinit()");
    if (std::shared_ptr<LibraryInstance> running = std::atomic_load(&instance)) {
        running->stop();
    }
    ORQ::logLine("[DLL] deinit() OK");
}

// After a failed start: the text meant, when the connection was written in
// another tool's way.
void suggestInstead(const ORQ::ConnectionString& connection) {
    const std::vector<char> meant = connection.suggestion();
    if (!meant.empty()) {
        ORQ::logLine("[DLL] did you mean `", meant.data(), "`?");
    }
}

int startLibrary(int tabletID, const char* dev) {
    // A connection string that names no link starts (and stops) nothing.
    const ORQ::ConnectionString connection = ORQ::ConnectionString::parse(dev);
    if (connection.kind() == ORQ::ConnectionString::Invalid) {
        ORQ::logLine("[UartSerial] bad connection string \"", connection.text(), "\": ", connection.error());
        suggestInstead(connection);
        return ERROR_START_DLL;
    }

    std::lock_guard<std::mutex> lock(lifecycleMutex);
    // A start while running first stops the running instance, so there is
    // never a second main loop or a second driver on the device.
    if (std::shared_ptr<LibraryInstance> previous = std::atomic_load(&instance)) {
        if (previous->workerThreadHandle() != nullptr) {
            stopCurrent();
        }
    }
    // The old instance goes before the new one opens the device; data calls
    // still holding it finish on it and the last of them destroys it.
    exchange(nullptr);
    std::shared_ptr<LibraryInstance> next = std::make_shared<LibraryInstance>(tabletID, connection);
    const int result = next->start();
    if (result != 0) {
        suggestInstead(connection);
    }
    // Even a failed start becomes current: the data calls then find its
    // (empty) world model, as after any other init.
    exchange(std::move(next));
    return result;
}

}  // namespace

namespace Library {

std::shared_ptr<LibraryInstance> current() {
    return std::atomic_load(&instance);
}

}  // namespace Library

extern "C" {

int init(int tabletID, DWORD handle, const char* dev) {
    (void)handle;  // accepted for the host's sake, not used
    try {
        return startLibrary(tabletID, dev);
    } catch (...) {
        return ERROR_START_DLL;
    }
}

int deinit(void) {
    try {
        std::lock_guard<std::mutex> lock(lifecycleMutex);
        stopCurrent();
    } catch (...) {
    }
    return ERROR_NO;
}

int getThreadID(void** workerThreadHandle, void** uartThreadHandle) {
    const std::shared_ptr<LibraryInstance> current = Library::current();
    if (workerThreadHandle != nullptr) {
        *workerThreadHandle = current ? current->workerThreadHandle() : nullptr;
    }
    if (uartThreadHandle != nullptr) {
        *uartThreadHandle = current ? current->uartThreadHandle() : nullptr;
    }
    return ERROR_NO;
}

int readBegin(void) {
    return ERROR_NO;
}

int readEnd(void) {
    return ERROR_NO;
}

}  // extern "C"
