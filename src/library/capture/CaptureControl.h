#pragma once
// The library's one capture switch: which capture file, if any, the link's
// bytes go to. startCapture/stopCapture and the start and stop of the link
// drive it; the link hands it every chunk it reads or writes.
//
// A capture started before the link begins with the link; one started while
// the link runs begins at once, and a second one replaces the first (which is
// finished and closed). The link's stop ends the capture. With ORQ_CAPTURE
// set, every start of the link begins a new capture at that path, where "%t"
// becomes the start time (local, YYYYmmdd-HHMMSS). A capture file is only
// ever a regular file; it is emptied when recording begins, not before.
//
// A capture never writes the file a replay reads (the same file, however its
// path is spelled or linked): the link's start is refused when the capture
// it would begin is that file, and so is startCapture while that file is
// being replayed. Either leaves the file as it was.
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

#include "capture/CaptureWriter.h"

namespace ORQ {

class CaptureControl {
public:
    // The process's capture switch. It is never destroyed: a link still
    // running while the process exits may record into it to the end.
    static CaptureControl& process();

    // Opens (or creates) the capture file at path; false (with nothing
    // changed) when it cannot be opened, is no regular file, or is the file
    // being replayed. Recording starts now if the link runs, else with it.
    bool start(const char* path);
    // Finishes and closes the current capture, if any.
    void stop();

    // The link is about to start under ownID on the given connection string.
    // False, with nothing started or written, when the capture that would
    // begin (ORQ_CAPTURE's, else the armed one) is the file the connection
    // replays: the link must not start then.
    bool linkStarting(uint8_t ownID, const char* connection);
    // The link did not start: a capture started by startCapture waits for the
    // next start (its file holds the capture of the failed one until then);
    // one of ORQ_CAPTURE ends.
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
    // True, with the log line, when w holds the file being replayed.
    bool refusedAsReplayed(const CaptureWriter& w) const;

    std::mutex controlMutex;  // guards linkRunning, armedByHost, ownID, connection, replayedFile; serialises the host's calls
    bool linkRunning;
    CaptureFile::Identity replayedFile;  // of a replay starting or running; unknown otherwise
    bool armedByHost;  // the current capture came from startCapture
    uint8_t ownID;
    char connection[CaptureFormat::maxConnectionSize + 1];  // NUL-terminated, cut to the header's limit

    std::mutex writerMutex;  // guards writer
    std::shared_ptr<CaptureWriter> writer;
};

}  // namespace ORQ
