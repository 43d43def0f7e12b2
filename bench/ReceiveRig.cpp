#include "ReceiveRig.h"

#include "models/ComponentVKRClient.h"
#include "datamaps/DeviceModelFactory.h"
#include "routing/WorldModel.h"

namespace bench {

ReceiveRig::ReceiveRig(unsigned boards) : uart(""), pump(uart, ms, mm, ORQ::Pump::Clock::none) {
    QuietStdout quiet;
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
    mm.setComponentFactory(&ORQ::makeDeviceModel);
    mm.setBroadcast(1);
    mm.addMessageSystem(&ms);
    mm.setMyID(hostID);
    uint8_t id = boardID;
    uint8_t next = 1;
    for (unsigned added = 0; added < boards && added < maxBoards; ++added) {
        feed(accFrame(id, hostID, 1, 2, 3));  // placeholder
        feed(flightBoardReply(id, hostID));   // typed model
        if (next == boardID) ++next;
        id = next++;
    }
    tick();  // placeholders removed
    // The placeholders' type requests are not sent anywhere here.
    drainQueue();
}

void ReceiveRig::tick() {
    now += 10;
    mm.run(now);
}

void ReceiveRig::drainQueue() {
    while (ms.getMessageQueue()->getFirstMessage() != nullptr) ms.getMessageQueue()->deleteFirst();
}

int ReceiveRig::accX() {
    ORQ::ComponentRef c = mm.getWorldModel()->acquireComponent(boardID);
    ORQ::ComponentVKRClient* k = dynamic_cast<ORQ::ComponentVKRClient*>(c.get());
    return k != nullptr && c.lock() ? k->acc[0].x : -1;
}

unsigned ReceiveRig::mirrored() {
    ORQ::WorldModel* wm = mm.getWorldModel();
    unsigned n = 0;
    for (unsigned id = 1; id <= maxBoards; ++id) {
        ORQ::ComponentRef c = wm->acquireComponent(static_cast<uint8_t>(id));
        n += dynamic_cast<ORQ::ComponentVKRClient*>(c.get()) != nullptr;
    }
    return n;
}

}  // namespace bench
