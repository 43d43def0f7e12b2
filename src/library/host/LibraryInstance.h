#pragma once
// One start of the library: owns the manager, the message system, the link
// and the pump that joins the link to them and keeps the manager's time.
//
// The exported functions reach the current instance through Library::current()
// (a shared pointer): a data call holds its instance for the whole call, so an
// init or deinit on another thread never frees what the call is using; the
// instance is destroyed when the last holder lets go, after its threads were
// joined by stop().
//
// Sets: a set is taken only while a link of this start may carry it, from
// the end of a start() that succeeded to the beginning of stop() (an
// instance serving test-built objects takes them all its life). Before and
// after, takeSet() refuses it with ERROR_COMPONENT_NOT_SUPPORTED and the model
// is not written: no link would ever send it.
//
// Threads: start() and stop() are called by the lifecycle functions, which
// serialize them; manager(), messageSystem(), takeSet() and the handle
// getters may be called from any thread at any time.
//
// Locks: setGate is held shared by takeSet() for the whole set (which takes
// the component's data lock, the queue's lock and the pump's write locks
// inside it), and exclusively by start() and stop() only to change
// takingSets, with nothing else held; so a set that stop() did not refuse
// has queued its messages before the pump's stop looks at the queue.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <boost/thread/shared_mutex.hpp>

#include "host/Dll.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

namespace ORQ {
class ConnectionString;
class Link;
class Pump;
}

class LibraryInstance {
public:
    // Builds the manager and message system of a start under own ID tabletID,
    // and the link the connection names; opens nothing.
    LibraryInstance(int tabletID, const ORQ::ConnectionString& connection);
    // Serves the data calls of Library.h with objects the caller built and
    // keeps owning; no link, no main loop (tests, benchmarks, fuzz targets).
    LibraryInstance(ORQ::MessageManager* manager, ORQ::MessageSystem* messageSystem);
    // Stops what still runs, then destroys what the instance owns.
    ~LibraryInstance();
    LibraryInstance(const LibraryInstance&) = delete;
    LibraryInstance& operator=(const LibraryInstance&) = delete;

    // Starts the link and the manager's clock (the pump):
    // ERROR_NO once the link opened (whatever its far end does next), or
    // ERROR_START_DLL with nothing left running. From then on it takes sets.
    int start();
    // Refuses sets from now on, stops the pump; returns promptly in every
    // state. The mirrored values stay readable.
    void stop();

    // Runs set() (a set of the host, which queues its messages) while this
    // start takes sets and returns its code; ERROR_COMPONENT_NOT_SUPPORTED
    // without running it otherwise.
    template <class Set>
    int takeSet(Set set) {
        boost::shared_lock<boost::shared_mutex> lock(setGate);
        return takingSets ? set() : ERROR_COMPONENT_NOT_SUPPORTED;
    }

    // Whether this start takes sets now: its link runs (see takeSet()).
    bool takesSets() {
        boost::shared_lock<boost::shared_mutex> lock(setGate);
        return takingSets;
    }

    ORQ::MessageManager* manager() const { return mm; }
    ORQ::MessageSystem* messageSystem() const { return ms; }
    // Native handles of the thread that ticks the manager and the link's
    // I/O thread while they run; null before start() and once stop() has
    // joined them.
    void* workerThreadHandle() const { return workerHandle.load(); }
    void* uartThreadHandle() const { return uartHandle.load(); }

private:
    void setTakingSets(bool taking);

    const std::vector<char> connection;  // as the host gave it, NUL-terminated
    std::unique_ptr<ORQ::MessageManager> ownedManager;
    std::unique_ptr<ORQ::MessageSystem> ownedSystem;
    std::unique_ptr<ORQ::Link> link;  // refers to nothing; outlives the pump
    std::unique_ptr<ORQ::Pump> pump;  // refers to link, mm and ms: destroyed first
    ORQ::MessageManager* mm;
    ORQ::MessageSystem* ms;

    // boost's: a waiting stop() holds back new sets, so a stream of them
    // never keeps it waiting.
    boost::shared_mutex setGate;
    bool takingSets;  // under setGate
    bool running;     // start() succeeded and stop() has not run (start/stop only)
    bool captureAnnounced;  // the capture switch knows the link runs (start/stop only)
    std::atomic<void*> workerHandle;
    std::atomic<void*> uartHandle;
};
