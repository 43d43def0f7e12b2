#include "host/LibraryInstance.h"

#include <chrono>

#include <boost/chrono.hpp>

#include "capture/CaptureControl.h"
#include "datamaps/DeviceModelFactory.h"
#include "host/Dll.h"
#include "log/LogLine.h"
#include "link/ConnectionString.h"
#include "link/Link.h"

namespace {

void* handleOf(boost::thread* thread) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(thread->native_handle()));
}

}  // namespace

LibraryInstance::LibraryInstance(int tabletID, const ORQ::ConnectionString& connection)
    : ownedManager(new ORQ::MessageManager()),
      ownedSystem(new ORQ::MessageSystem()),
      mm(ownedManager.get()),
      ms(ownedSystem.get()),
      takingSets(false),
      running(false),
      captureAnnounced(false),
      wakeRequested(false),
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
    mm->setWakeMainLoop([this] { wakeMainLoop(); });
    link.reset(ORQ::Link::create(connection, ms, mm));
}

LibraryInstance::LibraryInstance(ORQ::MessageManager* manager, ORQ::MessageSystem* messageSystem)
    : mm(manager),
      ms(messageSystem),
      takingSets(true),
      running(false),
      captureAnnounced(false),
      wakeRequested(false),
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
    // The capture begins before the link's first read; none may write the file a replay reads.
    if (!ORQ::CaptureControl::process().linkStarting(mm->getMyID(), link->connection().text())) {
        return ERROR_START_DLL;
    }
    captureAnnounced = true;
    // Between the main loop's ticks, manager time follows the clock; a link
    // that drives the manager clock gives it its times itself.
    const std::chrono::steady_clock::time_point clockStart = std::chrono::steady_clock::now();
    if (!link->drivesManagerClock()) mm->followClock(clockStart);
    // What the open did decides: the far end may be gone again already
    // (its I/O thread then reconnects, or a replay has ended), which is the
    // running link's business.
    if (!link->init()) {
        ORQ::logLine("[DLL] error init uart, shutdown!!!");
        link->deinit();
        ORQ::CaptureControl::process().linkFailed();
        captureAnnounced = false;
        return ERROR_START_DLL;
    }

    running = true;
    setTakingSets(true);
    if (link->drivesManagerClock()) {
        // A replay's I/O thread is the main loop: it gives the manager its
        // ticks at the capture's times, in order with the bytes it hands over.
        workerHandle = handleOf(link->getWorkerRecvThread());
        uartHandle = workerHandle.load();
        return ERROR_NO;
    }
    try {
        workerThread.reset(new boost::thread(&LibraryInstance::mainloop, this, clockStart));
    } catch (...) {
        workerThread.reset();
    }
    if (!workerThread) {
        ORQ::logLine("[DLL] error init workerThread, shutdown!!!");
        setTakingSets(false);
        running = false;
        link->deinit();
        return ERROR_START_DLL;
    }
    workerHandle = handleOf(workerThread.get());
    uartHandle = handleOf(link->getWorkerRecvThread());
    return ERROR_NO;
}

void LibraryInstance::stop() {
    // Sets end before the link stops: each set taken has queued its messages
    // by now, so the link's stop delivers them or they are lost with it; a
    // later set is refused, since no link would carry it.
    setTakingSets(false);
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

// Manager time is the ms since `begin` on a monotonic clock, so a change of
// the wall clock never moves it; it wraps after 2^32 ms. The loop ticks when
// the manager says the next thing is due, or at once when woken.
void LibraryInstance::mainloop(std::chrono::steady_clock::time_point begin) {
    while (running.load()) {
        const auto now = std::chrono::steady_clock::now();
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - begin);
        const uint32_t due = mm->run(static_cast<uint32_t>(elapsed.count()));
        boost::unique_lock<boost::mutex> lock(loopMutex);
        const auto woken = [this] { return wakeRequested || !running.load(); };
        if (due == ORQ::Component::nothingDue) {
            loopWake.wait(lock, woken);
        } else {
            // The tick ran at `elapsed`; the next one is due that much later.
            const auto at = begin + elapsed + std::chrono::milliseconds(due);
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(at - std::chrono::steady_clock::now());
            loopWake.wait_for(lock, boost::chrono::microseconds(left.count() > 0 ? left.count() : 0), woken);
        }
        wakeRequested = false;
    }
}

void LibraryInstance::setTakingSets(bool taking) {
    boost::unique_lock<boost::shared_mutex> lock(setGate);
    takingSets = taking;
}

void LibraryInstance::wakeMainLoop() {
    {
        boost::mutex::scoped_lock lock(loopMutex);
        wakeRequested = true;
    }
    loopWake.notify_all();
}
