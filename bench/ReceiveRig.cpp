#include "ReceiveRig.h"

#include "ComponentVKRClient.h"
#include "DeviceModelFactory.h"
#include "WorldModel.h"

namespace bench {

ReceiveRig::ReceiveRig() : uart("", &ms, &mm) {
    QuietStdout quiet;
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
    mm.setComponentFactory(&ORQ::makeDeviceModel);
    mm.setBroadcast(1);
    mm.addMessageSystem(&ms);
    mm.setMyID(hostID);
    feed(accFrame(boardID, hostID, 1, 2, 3));        // placeholder
    feed(flightBoardReply(boardID, hostID));         // typed model
    mm.run(10);                                      // placeholder removed
    // The placeholder's type requests are not sent anywhere here.
    while (ms.getMessageQueue()->getFirstMessage() != nullptr) ms.getMessageQueue()->deleteFirst();
}

int ReceiveRig::accX() {
    ORQ::ComponentRef c = mm.getWorldModel()->acquireComponent(boardID);
    ORQ::ComponentVKRClient* k = dynamic_cast<ORQ::ComponentVKRClient*>(c.get());
    return k != nullptr && c.lock() ? k->acc[0].x : -1;
}

}  // namespace bench
