#pragma once
// The library's one capture switch: which capture file, if any, the link's
// bytes go to. startCapture/stopCapture and the start and stop of the link
// drive it; the link hands it every chunk it reads or writes.
//
// A capture started before the link begins with the link; one started while
// the link runs begins at once, and a second one replaces the first (which is
// finished and closed). The link's stop ends the capture. With ORQ_CAPTURE
// set, every start of the link begins a new capture at that path, where "%t"
// becomes the start time (local, YYYYmmdd-HHMMSS).
//
// Threads: record() is called by the link's threads and never waits for the
// disk: it holds writerMutex for one CaptureWriter::record (a copy into its
// ring). Everything else comes from the host's threads, serialised by
// controlMutex; finishing a replaced capture (which writes and closes its
// file) happens outside writerMutex. Lock order: controlMutex, writerMutex.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

#include "CaptureWriter.h"

namespace ORQ {

class CaptureControl {
public:
    // The process's capture switch. It is never destroyed: a link still
    // running while the process exits may record into it to the end.
    static CaptureControl& process();

    // Creates the capture file at path; false (with nothing changed) when it
    // cannot be created. Recording starts now if the link runs, else with it.
    bool start(const char* path);
    // Finishes and closes the current capture, if any.
    void stop();

    // The link is about to start under ownID on the given connection string.
    void linkStarting(uint8_t ownID, const char* connection);
    // The link did not start: a capture started by startCapture waits (in a
    // file emptied again) for the next start; one of ORQ_CAPTURE ends.
    void linkFailed();
    // The link has stopped: the capture ends.
    void linkStopped();

    // One chunk read from (RECEIVED) or written to (WRITTEN) the link.
    void record(CaptureWriter::Direction direction, const uint8_t* bytes, std::size_t n);

    // path with every "%t" replaced by the local time t as YYYYmmdd-HHMMSS
    // (NUL-terminated).
    static std::vector<char> expandPath(const char* path, std::time_t t);

private:
    CaptureControl();
    // Makes next the current capture and finishes the one it replaces.
    void replace(std::shared_ptr<CaptureWriter> next);

    std::mutex controlMutex;  // guards linkRunning, armedByHost, ownID, connection; serialises the host's calls
    bool linkRunning;
    bool armedByHost;  // the current capture came from startCapture
    uint8_t ownID;
    char connection[CaptureFormat::maxConnectionSize + 1];  // NUL-terminated, cut to the header's limit

    std::mutex writerMutex;  // guards writer
    std::shared_ptr<CaptureWriter> writer;
};

}  // namespace ORQ
