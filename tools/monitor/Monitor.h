#pragma once
// Live view of the nodes the library hears, driven only through the exported
// functions of liborq.so: starts the library on a device, discovers typed
// nodes, shows their main values and the link statistics, applies the sets
// given on the command line and watches the nodes report them back.
// Single-threaded; the stop flag may be raised by a signal handler.
#include <signal.h>

#include <string>
#include <vector>

class Monitor {
public:
    struct Set {
        int component = 0;
        int dataID = 0;
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
    };

    explicit Monitor(const Options& options);
    // Runs until the duration has passed or stop becomes non-zero; always
    // stops the library. Returns the exit code: 0, 1 when the library did not
    // start or the capture file could not be created, 3 when a set failed or was not reported back.
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
        double sentAt = 0;
    };

    void applySets(double t);
    void watchSets(double t);
    // Tells once that a replay has handed over its whole capture.
    void watchReplay(double t);
    std::vector<Node> discover() const;
    std::string linkLine() const;
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
