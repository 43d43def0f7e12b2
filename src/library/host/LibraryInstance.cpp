#include "host/LibraryInstance.h"

#include <thread>

#include "capture/CaptureControl.h"
#include "datamaps/DeviceModelFactory.h"
#include "host/Dll.h"
#include "host/Pump.h"
#include "link/ConnectionString.h"
#include "link/Link.h"
#include "link/LinkFactory.h"
#include "log/LogLine.h"

namespace {

void* handleOf(std::thread* thread) {
    return thread ? reinterpret_cast<void*>(static_cast<uintptr_t>(thread->native_handle())) : nullptr;
}

}  // namespace

LibraryInstance::LibraryInstance(int tabletID, const ORQ::ConnectionString& connection)
    : ownedManager(new ORQ::MessageManager()),
      ownedSystem(new ORQ::MessageSystem()),
      link(ORQ::LinkFactory::create(connection)),
      mm(ownedManager.get()),
      ms(ownedSystem.get()),
      takingSets(false),
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
    if (link) {
        pump.reset(new ORQ::Pump(*link, *ms, *mm, ORQ::Pump::Clock::own));
        ORQ::Pump* p = pump.get();
        mm->setWakeMainLoop([p] { p->wake(); });
    }
}

LibraryInstance::LibraryInstance(ORQ::MessageManager* manager, ORQ::MessageSystem* messageSystem)
    : mm(manager),
      ms(messageSystem),
      takingSets(true),
      running(false),
      captureAnnounced(false),
      workerHandle(nullptr),
      uartHandle(nullptr) {}

LibraryInstance::~LibraryInstance() {
    if (running) {
        stop();
    }
    pump.reset();
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
    // What the open did decides: the far end may be gone again already
    // (its I/O thread then reconnects, or a replay has ended), which is the
    // running link's business.
    switch (pump->start()) {
    case ORQ::Pump::Started::yes:
        break;
    case ORQ::Pump::Started::linkFailed:
        ORQ::logLine("[DLL] error init uart, shutdown!!!");
        pump->stop();
        ORQ::CaptureControl::process().linkFailed();
        captureAnnounced = false;
        return ERROR_START_DLL;
    case ORQ::Pump::Started::clockFailed:
        pump->stop();
        return ERROR_START_DLL;
    }
    running = true;
    setTakingSets(true);
    workerHandle = handleOf(pump->clockThread());
    uartHandle = handleOf(link->getWorkerRecvThread());
    return ERROR_NO;
}

void LibraryInstance::stop() {
    // Sets end before the link stops: each set taken has queued its messages
    // by now, so the pump's stop delivers them or they are lost with the
    // link; a later set is refused, since no link would carry it.
    setTakingSets(false);
    if (pump) {
        pump->stop();
    }
    if (captureAnnounced) {
        ORQ::CaptureControl::process().linkStopped();
        captureAnnounced = false;
    }
    running = false;
    uartHandle = nullptr;
    workerHandle = nullptr;
}

void LibraryInstance::setTakingSets(bool taking) {
    boost::unique_lock<boost::shared_mutex> lock(setGate);
    takingSets = taking;
}
