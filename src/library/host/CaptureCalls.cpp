// The host's capture calls: record the link's traffic into a capture file
// (docs/capture.md). Any host thread; CaptureControl serialises them.
#include <exception>

#include "capture/CaptureControl.h"
#include "host/Dll.h"

extern "C" {

int startCapture(const char* path) {
    try {
        return ORQ::CaptureControl::process().start(path) ? ERROR_NO : ERROR_START_DLL;
    } catch (...) {
        return ERROR_START_DLL;
    }
}

int stopCapture(void) {
    try {
        ORQ::CaptureControl::process().stop();
    } catch (...) {
    }
    return ERROR_NO;
}

}  // extern "C"
