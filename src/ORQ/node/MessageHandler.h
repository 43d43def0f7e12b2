#pragma once
// Base of every handler on a component's chain. Each received message of the
// component is offered to the handlers (receive thread, under the component's
// data lock); run() is called once per main-loop tick for a handler with timed
// work only.
//
// A handler that mirrors reports of one data type (the clients) is built with
// that type, the set/request type below it and the shape a report must have;
// the base checks every offered message once for all of them and hands the
// ones that fit to store(). A handler built without a report type is handed
// every message its component is offered, and its store() decides.
#include <cstdint>

#include "wire/Message.h"

namespace ORQ {

class Component;

class MessageHandler {
public:
    static constexpr uint8_t anySize = 0xFF;  // reportSize: a report of any length
    // msUntilDue of a handler with timed work that keeps no schedule: it is
    // run at the pace the main loop had before it slept between due times.
    static constexpr uint32_t defaultPeriodMs = 10;

    MessageHandler();  // takes nothing, no timed work
    virtual ~MessageHandler();

    // When accepts(*m): take(*m), else 0. The component's dispatch takes the
    // same steps, with the sender checked once for all of its handlers.
    uint8_t procNewMessage(Message* m) { return accepts(*m) ? take(*m) : 0; }
    virtual void setComponent(Component* c);
    virtual void run(uint16_t timeDiff);  // base: nothing
    // ms of manager time from `now` until run() has work to do (base:
    // defaultPeriodMs); asked of a handler with timed work, after a tick.
    virtual uint32_t msUntilDue(uint32_t now) const;
    bool hasTimedWork() const { return timed; }

    // Accepted messages per second over the last timeDiff ms (low 8 bits of
    // dataCount * 1000 / timeDiff); resets dataCount. timeDiff 0 gives 0.
    uint8_t getDatarate(uint16_t timeDiff);

    MessageHandler* next;
    Component* component;
    uint8_t priority;
    uint8_t settable;
    uint8_t gettable;
    uint8_t dataCount;  // messages accepted since the last getDatarate
    Message::Properties properties;  // copied into every message sent

    uint8_t dataTypeSet;   // data type of the reports taken
    uint8_t dataTypeGet;   // data type of the set and request messages
    uint8_t dataCapacity;  // length of the mirrored array: reports on a channel at or beyond it are ignored
    uint8_t reportSize;    // payload length of a report taken (anySize: any)

protected:
    // A handler of reports: see dataTypeSet..reportSize. With anyChannel the
    // channel is not checked (a handler whose field has no elements by channel).
    enum Channels : bool { byChannel = false, anyChannel = true };
    // With timedWork, the component's tick calls run().
    MessageHandler(uint8_t dataTypeSet, uint8_t dataTypeGet, uint8_t dataCapacity, uint8_t reportSize,
                   Channels channels = byChannel, bool timedWork = false);
    // A handler that takes no reports.
    explicit MessageHandler(bool timedWork);

    // Takes reports on `channel` only (dataCapacity is then not checked): a
    // handler of one element that sits on a fixed channel.
    void takeOnlyChannel(uint8_t channel);

    // Mirrors an accepted report into the model; a handler naming no type is
    // handed every message here. True when the message counts as an update:
    // the handler counts it and the component renews its update time. Base:
    // stores nothing, false.
    virtual bool store(Message& m);

private:
    friend class Component;  // indexes the handler, dispatches through fits() and take()

    // The one acceptance check of every report: sent by the handler's
    // component, of dataTypeSet, and fits(); always true for a handler that
    // names no type.
    bool accepts(const Message& m) const;
    // Of a report of the handler's data type from its component: reportSize
    // bytes, on a channel it takes (below dataCapacity, unless anyChannel).
    bool fits(const Message& m) const {
        return (reportSize == anySize || m.dataSize == reportSize) &&
               static_cast<uint8_t>(m.channel - firstChannel) < channelCount;
    }
    uint8_t take(Message& m) {
        if (!store(m)) return 0;
        ++dataCount;
        return 1;
    }

    uint8_t nextOffered;  // the component's slot of the next handler in its index list, or 0
    bool takesReports;
    bool timed;
    // The channels taken: firstChannel up to firstChannel + channelCount
    // (modulo 256; 256 of them take every channel).
    uint8_t firstChannel;
    uint16_t channelCount;
};

}  // namespace ORQ
