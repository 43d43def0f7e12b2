#pragma once
// Live view of the nodes the library hears, driven only through the exported
// functions of liborq.so: starts the library on a device, discovers typed
// nodes, shows their main values in their units (DataUnit) and the link
// statistics, applies the sets given on the command line once their node is
// typed and watches the nodes report them back; codes the library returns
// are shown with their names. A replay ends the monitor with a summary once
// the capture has no more records.
// Single-threaded; the stop flag may be raised by a signal handler.
#include <signal.h>

#include <string>
#include <vector>

class Monitor {
public:
    struct Set {
        int component = 0;
        int dataID = 0;
        std::string dataName;   // the DataIds.def name given in place of dataID ("GPS_MODE"); "": a number
        int index = 0;
        int value = 0;
        double atSeconds = 0;
    };
    struct Options {
        std::string device;
        int ownID = 1;
        double durationSeconds = 0;   // 0: until stopped
        std::string capturePath;      // "": no capture
        std::vector<Set> sets;
        double setTimeoutSeconds = 10;  // how long a set waits for its node to be typed
    };

    explicit Monitor(const Options& options);
    // Runs until the duration has passed, stop becomes non-zero or a replay
    // has handed over its whole capture; always stops the library. Returns the
    // exit code: 0, 1 when the library did not start or the capture file could
    // not be created, 3 when a set failed (its node not typed within the set
    // timeout, among others) or was not reported back.
    int run(const volatile sig_atomic_t& stop);

private:
    struct Node {
        int id;
        int type;
    };
    struct Tracked {
        Set set;
        bool sent = false;
        bool done = false;
        bool failed = false;
        bool waitTold = false;
        double sentAt = 0;
    };

    void applySets(double t);
    // Sends the set once its node is typed; false while it still waits.
    bool trySet(Tracked& tr, double t);
    void watchSets(double t);
    // Tells once that a replay has handed over its whole capture.
    void watchReplay(double t);
    std::vector<Node> discover() const;
    std::string linkLine() const;
    // The one line a finished replay ends with.
    std::string replaySummary(double t) const;
    // The node's main values, groups separated by separator.
    std::string nodeLine(const Node& node, const char* separator) const;
    void draw(double t);
    void event(double t, const std::string& text);

    Options options;
    bool terminal;
    std::vector<Tracked> tracked;
    std::vector<std::string> events;   // newest last; the terminal view shows the tail
    bool replayEnded = false;
};
