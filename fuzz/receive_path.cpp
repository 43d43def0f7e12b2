// Fuzz target: the whole receive path without a serial device. Bytes go
// through a driver-mode message system into the manager and a world model
// that holds a flight board (5), a ground station (6) and a placeholder (7),
// interleaved with the host's data calls and with clock ticks that age
// components out. The host's data calls run on a library instance over this
// manager and message system.
//
// Input: a sequence of operations; the first byte of each picks it (low 3
// bits), the following bytes are its arguments (see the cases below).
// Checked: every data call returns one of the host codes and keeps its slot
// contract; everything the library sends is a frame that decodes; after a
// tick more than 300000 ms past every message, no node can be read.
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "models/ComponentQRNClient.h"
#include "models/ComponentVKRClient.h"
#include "DataTypes.h"
#include "datamaps/DeviceModelFactory.h"
#include "host/Dll.h"
#include "FuzzTargets.h"
#include "host/Library.h"
#include "host/LibraryInstance.h"
#include "wire/Message.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"
#include "routing/WorldModel.h"

using ORQ::Message;
using ORQ::MessageManager;
using ORQ::MessageSystem;

namespace {

const uint8_t ownID = 1;

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data(data), size(size), pos(0) {}
    bool more() const { return pos < size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    int32_t int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
        return static_cast<int32_t>(v);
    }
    // A component ID: mostly the interesting small ones (0, own ID, the three
    // nodes, unknown ones), sometimes a wide int whose low byte is taken.
    int componentID() {
        const uint8_t b = byte();
        if (b & 0x80) return static_cast<int>((b & 0x40 ? 0x80000000u : 0x7FFFFF00u) | b);
        return b % 10;
    }
    // Data IDs and indexes around and past every table bound.
    int smallInt() {
        const uint8_t b = byte();
        switch (b) {
        case 0xF0: return INT_MIN;
        case 0xF1: return INT_MAX;
        case 0xF2: return 256;
        case 0xF3: return 257;
        default: return static_cast<int8_t>(b);
        }
    }
    size_t take(const uint8_t** bytes, size_t want) {
        const size_t n = size - pos < want ? size - pos : want;
        *bytes = data + pos;
        pos += n;
        return n;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos;
};

bool isHostCode(int r) { return r == ERROR_NO || (r <= ERROR_UNEXPECTED_EXCEPTION && r >= ERROR_START_DLL); }

class PathFuzzer {
public:
    PathFuzzer()
        : ms(new MessageSystem()), mm(new MessageManager()), instance(mm.get(), ms.get()), time(0), quietSinceTick(true) {
        mm->setObserve(1);
        mm->setAutoAddNewComponents(1);
        mm->setComponentFactory(&ORQ::makeDeviceModel);
        mm->setBroadcast(1);
        mm->addMessageSystem(ms.get());
        mm->setMyID(ownID);
        mm->getWorldModel()->addComponent(new ORQ::ComponentVKRClient(5));
        mm->getWorldModel()->addComponent(new ORQ::ComponentQRNClient(6));
        // The first message of an unknown sender creates its placeholder.
        Message hello;
        hello.dataType = ORQ::DataType::heartbeat.report;
        hello.senderID = 7;
        hello.receiverID = ownID;
        mm->procMessage(&hello, ms.get());
    }
    ~PathFuzzer() {
        mm.reset();  // components first: they send through the message system
    }

    void run(Reader& in) {
        while (in.more()) {
            switch (in.byte() & 7) {
            case 0: receive(in); break;
            case 1: batch(in, false); break;
            case 2: batch(in, true); break;
            case 3: single(in); break;
            case 4: tick(in); break;
            case 5: drainSendQueue(); break;
            default: receive(in); break;
            }
        }
        drainSendQueue();
    }

private:
    // A piece of line bytes, handled as the serial driver does: every frame
    // taken out of the buffer is routed at once.
    void receive(Reader& in) {
        const uint8_t* bytes;
        const size_t n = in.take(&bytes, in.byte());
        ms->procNewData(bytes, static_cast<uint8_t>(n));
        for (int guard = 0; guard < 101; ++guard) {
            const uint16_t before = ms->statistics().receivedMessages;
            std::unique_ptr<Message> m(ms->getNewMessage());
            if (m) {
                mm->procMessage(m.get(), ms.get());
                quietSinceTick = false;
            }
            if (ms->statistics().receivedMessages == before) return;
        }
        ORQ_FUZZ_CHECK(!"more frames than bytes");
    }

    // A batch call with an honest host: the arrays hold what the counts say.
    void batch(Reader& in, bool set) {
        const uint8_t shape = in.byte();
        const int cid = in.componentID();
        const int items = static_cast<int8_t>(in.byte()) % 17;  // -16..16
        const int slots = static_cast<int8_t>(in.byte()) % 17;
        std::vector<int> ids(items > 0 ? items : 0), indexes(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            ids[i] = in.smallInt();
            indexes[i] = in.smallInt();
        }
        // Exactly as many slots as the host says it has, so that a write past
        // *size is a write past the allocation.
        std::unique_ptr<int[]> value(new int[slots > 0 ? slots : 1]);
        for (int i = 0; i < (slots > 0 ? slots : 1); ++i) value[i] = set ? in.int32() : 0x5A5A5A5A;
        int size = slots;
        int* idp = (shape & 1) ? nullptr : ids.data();
        int* ixp = (shape & 2) ? nullptr : indexes.data();
        int* vp = (shape & 4) ? nullptr : value.get();
        int* sp = (shape & 8) ? nullptr : &size;
        const int r = set ? Library::setDataKomplex(instance, cid, idp, ixp, items, vp, sp)
                            : Library::getDataKomplex(instance, cid, idp, ixp, items, vp, sp);
        ORQ_FUZZ_CHECK(isHostCode(r));
        if (r == ERROR_NO) {
            // One slot per item; none of the host's items were skipped.
            ORQ_FUZZ_CHECK(size == (items > 0 ? items : 0));
            ORQ_FUZZ_CHECK(items <= 0 || slots >= items);
        } else {
            ORQ_FUZZ_CHECK(size == slots);
        }
        if (!set && r == ERROR_NO) {
            for (int i = size; i < slots; ++i) ORQ_FUZZ_CHECK(value[i] == 0x5A5A5A5A);
        }
    }

    void single(Reader& in) {
        const bool set = in.byte() & 1;
        const int cid = in.componentID();
        const int id = in.smallInt();
        const int index = in.smallInt();
        const int32_t v = in.int32();
        int slot = v;
        const int r =
            set ? Library::setData(instance, cid, id, v, index) : Library::getData(instance, cid, id, &slot, index);
        ORQ_FUZZ_CHECK(isHostCode(r));
        if (!set && r != ERROR_NO) ORQ_FUZZ_CHECK(slot == v);
    }

    // Manager time moves by a short tick, a second, or past the age limit.
    void tick(Reader& in) {
        const uint8_t b = in.byte();
        static const uint32_t steps[] = {10, 1000, 299990, 300001};
        const uint32_t step = (b & 0x80) ? steps[b & 3] : b;
        const bool agesAll = quietSinceTick && step > ORQ::WorldModel::maxAge && time + step > time;
        time += step;
        mm->run(time);
        quietSinceTick = true;
        if (agesAll) {
            // Every node's last update lies at or before the previous tick.
            for (int id : {5, 6, 7}) {
                int v = 0;
                ORQ_FUZZ_CHECK(Library::getData(instance, id, 30, &v, 0) == ERROR_COMPONENT_NOT_SUPPORTED);
            }
            ORQ_FUZZ_CHECK(mm->getWorldModel()->getComponent(5) == nullptr);
        }
    }

    // Frames everything queued, as the send thread does, and checks that
    // each frame decodes back on a receiving message system.
    void drainSendQueue() {
        MessageSystem far;
        uint8_t frame[250];
        for (int guard = 0; guard <= ORQ::MessageQueue::maxElements; ++guard) {
            const uint8_t len = ms->getNextSendData(frame, sizeof frame);
            if (len == 0) {
                if (ms->getMessageQueue()->getElementCount() == 0) return;
                continue;  // an unserializable head was dropped
            }
            ms->getMessageQueue()->deleteFirst();
            ORQ_FUZZ_CHECK(frame[0] == MessageSystem::frameStart && frame[len - 1] == MessageSystem::frameEnd);
            far.procNewData(frame, len);
            std::unique_ptr<Message> m(far.getNewMessage());
            ORQ_FUZZ_CHECK(m && m->senderID == ownID);
        }
        ORQ_FUZZ_CHECK(ms->getMessageQueue()->getElementCount() == 0);
    }

    // Declared first, destroyed last: the manager's components send through it.
    std::unique_ptr<MessageSystem> ms;
    std::unique_ptr<MessageManager> mm;
    LibraryInstance instance;  // refers to both, owns neither
    uint32_t time;
    bool quietSinceTick;  // no message was routed since the last tick
};

}  // namespace

int orqFuzzOneReceivePath(const uint8_t* data, size_t size) {
    PathFuzzer fuzzer;
    Reader in(data, size);
    fuzzer.run(in);
    return 0;
}
