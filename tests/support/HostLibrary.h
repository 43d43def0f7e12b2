#pragma once
// liborq.so as a host sees it: loaded with dlopen, its exported functions
// looked up by name. The library is loaded once per process and never
// unloaded, so its process-wide state lives as long as the test program.
#include <cstdint>
#include <string>

namespace ORQ {
namespace test {

class HostLibrary {
public:
    using Init = int (*)(int tabletID, uint32_t handle, const char* dev);
    using Plain = int (*)();
    using GetThreadID = int (*)(void** workerThreadHandle, void** uartThreadHandle);
    using GetData = int (*)(int componenID, int dataID, int* value, int index);
    using SetData = int (*)(int componenID, int dataID, int value, int index);
    using DataKomplex = int (*)(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size);
    using GetDataRaw = int (*)(int componenID, int dataID, int* value, int* size, int index);
    using WaitForData = int (*)(int componenID, int dataID, int* value);
    using WaitForDataValue = int (*)(int componenID, int dataID, int* value, int exceptedValue);
    using GetComponents = int (*)(int* ids, int* types, int* size);
    using StartCapture = int (*)(const char* path);
    using WaitForComponent = int (*)(int id, int timeoutMs);

    // The library at `path` (ORQ_SHARED_LIBRARY in test programs); throws
    // std::runtime_error when it or one of its functions cannot be found.
    static HostLibrary& load(const std::string& path);
    // Whether init has been called through this object in this process: the
    // library's state then is no longer that of a freshly loaded library.
    bool started() const;

    // init through this wrapper, so that started() knows about it.
    int callInit(int tabletID, uint32_t handle, const char* dev);

    Init init;
    Plain deinit;
    GetThreadID getThreadID;
    Plain readBegin;
    Plain readEnd;
    GetData getData;
    SetData setData;
    DataKomplex getDataKomplex;
    DataKomplex setDataKomplex;
    GetDataRaw getDataRaw;
    WaitForData waitForData;
    WaitForDataValue waitForDataValue;
    GetComponents getComponents;
    WaitForComponent waitForComponent;
    StartCapture startCapture;
    Plain stopCapture;

private:
    explicit HostLibrary(const std::string& path);
    bool initCalled;
};

}  // namespace test
}  // namespace ORQ
