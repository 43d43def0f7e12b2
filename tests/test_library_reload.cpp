// A host that loads liborq.so only for the time it talks to a device: dlopen,
// init, deinit, dlclose, again and again. Every cycle must give back what it
// took: no descriptor, no thread, and (roughly) no memory stays behind. This
// program never keeps the library loaded between cycles.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>

#include "ProcessProbe.h"
#include "Pty.h"
#include "StdoutCapture.h"

using namespace ORQ::test;

namespace {

long residentKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atol(line + 6);
    }
    std::fclose(f);
    return kib;
}

// One host session: load, start on dev, stop, unload.
void cycle(const std::string& dev) {
    void* handle = dlopen(ORQ_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle) << dlerror();
    using Init = int (*)(int, uint32_t, const char*);
    using Deinit = int (*)();
    const Init init = reinterpret_cast<Init>(dlsym(handle, "init"));
    const Deinit deinit = reinterpret_cast<Deinit>(dlsym(handle, "deinit"));
    ASSERT_NE(nullptr, init);
    ASSERT_NE(nullptr, deinit);
    EXPECT_EQ(0, init(1, 0, dev.c_str()));
    EXPECT_EQ(0, deinit());
    EXPECT_EQ(0, dlclose(handle));
}

TEST(LibraryReload, LoadStartStopUnloadCyclesGiveEverythingBack) {
    Pty device;
    StdoutCapture out;
    // The first cycles load what stays for the process anyway (the runtime's
    // own libraries, the allocator's arenas).
    for (int i = 0; i < 20; ++i) {
        cycle(device.slavePath());
    }
    const std::size_t descriptors = openDescriptorCount();
    const std::size_t threads = threadCount();
    const long memory = residentKiB();

    for (int i = 0; i < 200; ++i) {
        ASSERT_NO_FATAL_FAILURE(cycle(device.slavePath())) << "cycle " << i;
    }
    EXPECT_EQ(descriptors, openDescriptorCount());
    EXPECT_TRUE(eventually([&] { return threadCount() == threads; }, std::chrono::milliseconds(20000)));
    // A start's objects are some 100 KiB; 200 of them left behind would be
    // far more than this allowance for the allocator's own growth.
    EXPECT_LT(residentKiB() - memory, 4096) << "KiB grown over 200 cycles";
    EXPECT_EQ(220u, out.count("[DLL] deinit() OK"));
}

}  // namespace
