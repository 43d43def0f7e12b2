// Start and stop of the whole library: the process-wide objects of one start
// (manager, message system, link), the main-loop thread that gives
// the manager its tick, and the native handles of the library's threads.
//
// init/deinit run on the host's thread and are never called concurrently with
// each other or with the data calls; the main-loop thread only reads `mm` and
// `run`, both set before it starts.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include <boost/chrono.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "Dll.h"
#include "Library.h"
#include "LogLine.h"
#include "MessageManager.h"
#include "MessageSystem.h"
#include "Link.h"

namespace {

// Objects of the last start. A later init replaces them; until then they
// stay, so data calls after deinit still find the last mirrored values.
ORQ::Link* uart = nullptr;
ORQ::MessageSystem* ms = nullptr;
ORQ::MessageManager* mm = nullptr;

std::atomic<bool> run(false);
// deinit clears `run` under loopMutex and signals loopWake, so the main loop
// ends at once instead of after the rest of its sleep.
boost::mutex loopMutex;
boost::condition_variable loopWake;
boost::thread* workerThread = nullptr;
void* g_workerThreadHandle = nullptr;
void* g_uartThreadHandle = nullptr;

const unsigned mainLoopPeriodMs = 10;

void* handleOf(boost::thread* thread) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(thread->native_handle()));
}

// Manager time is the ms since the loop started on a monotonic clock, so a
// change of the wall clock never moves it; it wraps after 2^32 ms.
void mainloop() {
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    while (run.load()) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        mm->run(static_cast<uint32_t>(elapsed.count()));
        boost::unique_lock<boost::mutex> lock(loopMutex);
        loopWake.wait_for(lock, boost::chrono::milliseconds(mainLoopPeriodMs), [] { return !run.load(); });
    }
}

// Destroys the objects of the previous start; its threads have been joined.
void destroyObjects() {
    delete uart;  // refers to ms and mm
    uart = nullptr;
    delete mm;  // its components may still refer to ms
    mm = nullptr;
    delete ms;
    ms = nullptr;
}

int startLibrary(int tabletID, const char* dev) {
    // A connection string that names no link starts (and stops) nothing.
    const ORQ::ConnectionString connection = ORQ::ConnectionString::parse(dev);
    if (connection.kind() == ORQ::ConnectionString::Invalid) {
        ORQ::logLine("[UartSerial] bad connection string \"", connection.text(), "\": ", connection.error());
        return ERROR_START_DLL;
    }

    // A start while running first stops the running instance, so there is
    // never a second main loop or a second driver on the device.
    if (run.load() || workerThread != nullptr) {
        deinit();
    }
    destroyObjects();

    mm = new ORQ::MessageManager();
    ms = new ORQ::MessageSystem();
    uart = (mm && ms) ? ORQ::Link::create(connection, ms, mm) : nullptr;
    if (uart == nullptr) {
        ORQ::logLine("[DLL] error init uart, shutdown!!!");
        destroyObjects();
        return ERROR_START_DLL;
    }

    // The manager is set up before the driver starts: its receive thread
    // routes a message as soon as one arrives, reading these settings.
    mm->setObserve(1);
    mm->setAutoAddNewComponents(1);
    mm->setBroadcast(1);
    mm->addMessageSystem(ms);
    mm->setMyID(static_cast<uint8_t>(tabletID & 0xFF));

    uart->init();
    if (uart->getIsOpen() != 1) {
        ORQ::logLine("[DLL] error init uart, shutdown!!!");
        uart->deinit();
        return ERROR_START_DLL;
    }

    run = true;
    try {
        workerThread = new boost::thread(&mainloop);
    } catch (...) {
        workerThread = nullptr;
    }
    if (workerThread == nullptr) {
        ORQ::logLine("[DLL] error init workerThread, shutdown!!!");
        run = false;
        uart->deinit();
        return ERROR_START_DLL;
    }

    g_workerThreadHandle = handleOf(workerThread);
    g_uartThreadHandle = handleOf(uart->getWorkerRecvThread());
    return ERROR_NO;
}

}  // namespace

namespace Library {

ORQ::MessageManager* manager() {
    return mm;
}

ORQ::MessageSystem* messageSystem() {
    return ms;
}

void installForTesting(ORQ::MessageManager* manager, ORQ::MessageSystem* messageSystem) {
    mm = manager;
    ms = messageSystem;
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
        ORQ::logLine("[DLL] deinit()");
        // The driver stops first: no message is routed once the loop is gone.
        if (uart != nullptr) {
            uart->deinit();
        }
        {
            boost::mutex::scoped_lock lock(loopMutex);
            run = false;
        }
        loopWake.notify_all();
        if (workerThread != nullptr) {
            ORQ::logLine("[DLL] deinit() join workerThread...");
            workerThread->join();
            delete workerThread;
            workerThread = nullptr;
            ORQ::logLine("[DLL] deinit() joined!");
        }
        ORQ::logLine("[DLL] deinit() OK");
    } catch (...) {
    }
    return ERROR_NO;
}

int getThreadID(void** workerThreadHandle, void** uartThreadHandle) {
    if (workerThreadHandle != nullptr) {
        *workerThreadHandle = g_workerThreadHandle;
    }
    if (uartThreadHandle != nullptr) {
        *uartThreadHandle = g_uartThreadHandle;
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
