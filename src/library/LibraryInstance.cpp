#include "LibraryInstance.h"

#include <chrono>

#include <boost/chrono.hpp>

#include "CaptureControl.h"
#include "DeviceModelFactory.h"
#include "Dll.h"
#include "LogLine.h"
#include "ConnectionString.h"
#include "Link.h"

namespace {

const unsigned mainLoopPeriodMs = 10;

void* handleOf(boost::thread* thread) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(thread->native_handle()));
}

}  // namespace

LibraryInstance::LibraryInstance(int tabletID, const ORQ::ConnectionString& connection)
    : ownedManager(new ORQ::MessageManager()),
      ownedSystem(new ORQ::MessageSystem()),
      mm(ownedManager.get()),
      ms(ownedSystem.get()),
      running(false),
      captureAnnounced(false),
      workerHandle(nullptr),
      uartHandle(nullptr) {
    // The manager is set up before the link starts: its I/O thread
    // routes a message as soon as one arrives, reading these settings.
    mm->setObserve(1);
    mm->setAutoAddNewComponents(1);
    mm->setComponentFactory(&ORQ::makeDeviceModel);
    mm->setBroadcast(1);
    mm->addMessageSystem(ms);
    mm->setMyID(static_cast<uint8_t>(tabletID & 0xFF));
    link.reset(ORQ::Link::create(connection, ms, mm));
}

LibraryInstance::LibraryInstance(ORQ::MessageManager* manager, ORQ::MessageSystem* messageSystem)
    : mm(manager),
      ms(messageSystem),
      running(false),
      captureAnnounced(false),
      workerHandle(nullptr),
      uartHandle(nullptr) {}

LibraryInstance::~LibraryInstance() {
    // A replay runs without a main-loop thread of its own.
    if (workerThread || running.load()) {
        stop();
    }
    link.reset();
    // The components may still send through the message system while they go.
    ownedManager.reset();
    ownedSystem.reset();
}

int LibraryInstance::start() {
    if (!link) {
        ORQ::logLine("[DLL] error init uart, shutdown!!!");
        return ERROR_START_DLL;
    }
    // The capture begins before the link's first read.
    ORQ::CaptureControl::process().linkStarting(mm->getMyID(), link->connection().text());
    captureAnnounced = true;
    link->init();
    if (link->getIsOpen() != 1) {
        ORQ::logLine("[DLL] error init uart, shutdown!!!");
        link->deinit();
        ORQ::CaptureControl::process().linkFailed();
        captureAnnounced = false;
        return ERROR_START_DLL;
    }

    running = true;
    if (link->drivesManagerClock()) {
        // A replay's I/O thread is the main loop: it gives the manager its
        // ticks at the capture's times, in order with the bytes it hands over.
        workerHandle = handleOf(link->getWorkerRecvThread());
        uartHandle = workerHandle.load();
        return ERROR_NO;
    }
    try {
        workerThread.reset(new boost::thread(&LibraryInstance::mainloop, this));
    } catch (...) {
        workerThread.reset();
    }
    if (!workerThread) {
        ORQ::logLine("[DLL] error init workerThread, shutdown!!!");
        running = false;
        link->deinit();
        return ERROR_START_DLL;
    }
    workerHandle = handleOf(workerThread.get());
    uartHandle = handleOf(link->getWorkerRecvThread());
    return ERROR_NO;
}

void LibraryInstance::stop() {
    // The link stops first: no message is routed once the loop is gone.
    if (link) {
        link->deinit();
    }
    if (captureAnnounced) {
        ORQ::CaptureControl::process().linkStopped();
        captureAnnounced = false;
    }
    uartHandle = nullptr;
    {
        boost::mutex::scoped_lock lock(loopMutex);
        running = false;
    }
    loopWake.notify_all();
    if (workerThread) {
        ORQ::logLine("[DLL] deinit() join workerThread...");
        workerThread->join();
        workerThread.reset();
        ORQ::logLine("[DLL] deinit() joined!");
    }
    workerHandle = nullptr;
}

// Manager time is the ms since the loop started on a monotonic clock, so a
// change of the wall clock never moves it; it wraps after 2^32 ms.
void LibraryInstance::mainloop() {
    const std::chrono::steady_clock::time_point begin = std::chrono::steady_clock::now();
    while (running.load()) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
        mm->run(static_cast<uint32_t>(elapsed.count()));
        boost::unique_lock<boost::mutex> lock(loopMutex);
        loopWake.wait_for(lock, boost::chrono::milliseconds(mainLoopPeriodMs), [this] { return !running.load(); });
    }
}
