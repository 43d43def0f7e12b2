#pragma once
// One start of the library: owns the manager, the message system, the link
// and the main-loop thread that gives the manager its tick.
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
// getters may be called from any thread at any time. The main-loop thread
// only reads `mm` and `running`, both set before it starts.
//
// Locks: setGate is held shared by takeSet() for the whole set (which takes
// the component's data lock, the queue's lock and the link's write locks
// inside it), and exclusively by start() and stop() only to change
// takingSets, with nothing else held; so a set that stop() did not refuse
// has queued its messages before the link's stop looks at the queue.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/shared_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "host/Dll.h"
#include "routing/MessageManager.h"
#include "wire/MessageSystem.h"

namespace ORQ {
class ConnectionString;
class Link;
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

    // Opens the link and starts its I/O thread and the main loop:
    // ERROR_NO once the link opened (whatever its far end does next), or
    // ERROR_START_DLL with nothing left running. From then on it takes sets.
    int start();
    // Refuses sets from now on, stops the link, then the main loop; returns
    // promptly in every state. The mirrored values stay readable.
    void stop();

    // Runs set() (a set of the host, which queues its messages) while this
    // start takes sets and returns its code; ERROR_COMPONENT_NOT_SUPPORTED
    // without running it otherwise.
    template <class Set>
    int takeSet(Set set) {
        boost::shared_lock<boost::shared_mutex> lock(setGate);
        return takingSets ? set() : ERROR_COMPONENT_NOT_SUPPORTED;
    }

    ORQ::MessageManager* manager() const { return mm; }
    ORQ::MessageSystem* messageSystem() const { return ms; }
    // Native handles of the main-loop thread and the link's I/O thread
    // while they run; null before start() and once stop() has joined them.
    void* workerThreadHandle() const { return workerHandle.load(); }
    void* uartThreadHandle() const { return uartHandle.load(); }

private:
    void mainloop(std::chrono::steady_clock::time_point begin);
    // Makes the main loop tick at once (the manager calls it when a
    // component joins or is retired).
    void wakeMainLoop();
    void setTakingSets(bool taking);

    const std::vector<char> connection;  // as the host gave it, NUL-terminated
    std::unique_ptr<ORQ::MessageManager> ownedManager;
    std::unique_ptr<ORQ::MessageSystem> ownedSystem;
    std::unique_ptr<ORQ::Link> link;  // refers to mm and ms: destroyed first
    ORQ::MessageManager* mm;
    ORQ::MessageSystem* ms;

    // boost's: a waiting stop() holds back new sets, so a stream of them
    // never keeps it waiting.
    boost::shared_mutex setGate;
    bool takingSets;  // under setGate
    std::atomic<bool> running;
    bool captureAnnounced;  // the capture switch knows the link runs (start/stop only)
    // stop() clears `running` and wakeMainLoop() sets wakeRequested, each
    // under loopMutex and signalling loopWake, so the main loop ends or ticks
    // at once instead of after the rest of its sleep; the loop clears
    // wakeRequested under loopMutex before its tick, so no wake is lost.
    bool wakeRequested;
    boost::mutex loopMutex;
    boost::condition_variable loopWake;
    std::unique_ptr<boost::thread> workerThread;
    std::atomic<void*> workerHandle;
    std::atomic<void*> uartHandle;
};
