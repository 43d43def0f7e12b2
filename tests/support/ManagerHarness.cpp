#include "ManagerHarness.h"

#include "datamaps/DeviceModelFactory.h"

namespace ORQ {
namespace test {

ManagerHarness::ManagerHarness(uint8_t myID) : ms(new MessageSystem()) {
    mm.addMessageSystem(ms.get());
    mm.setMyID(myID);
    mm.setComponentFactory(&makeDeviceModel);
}

void ManagerHarness::observeAndAutoAdd() {
    mm.setObserve(1);
    mm.setAutoAddNewComponents(1);
}

void ManagerHarness::tick(uint32_t time) { mm.run(time); }

void ManagerHarness::receive(Message& m) { mm.procMessage(&m, ms.get()); }

std::vector<Message> ManagerHarness::drain() {
    std::vector<Message> out;
    MessageQueue* q = ms->getMessageQueue();
    while (Message* m = q->getFirstMessage()) {
        out.push_back(*m);
        q->deleteFirst();
    }
    return out;
}

uint8_t ManagerHarness::queued() { return ms->getMessageQueue()->getElementCount(); }

}  // namespace test
}  // namespace ORQ
