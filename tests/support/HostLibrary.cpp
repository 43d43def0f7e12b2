#include "HostLibrary.h"

#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace ORQ {
namespace test {

namespace {

template <typename F>
void resolve(void* handle, const char* name, F& target) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("liborq.so does not export ") + name);
    }
    target = reinterpret_cast<F>(symbol);
}

}  // namespace

HostLibrary& HostLibrary::load(const std::string& path) {
    static std::unique_ptr<HostLibrary> library;
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    if (!library) {
        library.reset(new HostLibrary(path));
    }
    return *library;
}

HostLibrary::HostLibrary(const std::string& path) : initCalled(false) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        throw std::runtime_error(std::string("cannot load ") + path + ": " + (error ? error : "?"));
    }
    resolve(handle, "init", init);
    resolve(handle, "deinit", deinit);
    resolve(handle, "getThreadID", getThreadID);
    resolve(handle, "readBegin", readBegin);
    resolve(handle, "readEnd", readEnd);
    resolve(handle, "getData", getData);
    resolve(handle, "setData", setData);
    resolve(handle, "getDataKomplex", getDataKomplex);
    resolve(handle, "setDataKomplex", setDataKomplex);
    resolve(handle, "getDataRaw", getDataRaw);
    resolve(handle, "waitForData", waitForData);
    resolve(handle, "waitForDataValue", waitForDataValue);
    resolve(handle, "getComponents", getComponents);
    resolve(handle, "waitForComponent", waitForComponent);
    resolve(handle, "startCapture", startCapture);
    resolve(handle, "stopCapture", stopCapture);
}

bool HostLibrary::started() const {
    return initCalled;
}

int HostLibrary::callInit(int tabletID, uint32_t handle, const char* dev) {
    initCalled = true;
    return init(tabletID, handle, dev);
}

}  // namespace test
}  // namespace ORQ
