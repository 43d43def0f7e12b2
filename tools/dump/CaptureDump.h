#pragma once
// Prints a capture frame by frame: each direction's bytes go through a
// message system of their own (driver mode), handed over at every end byte
// exactly as the serial driver hands them over, so the dump finds the frames
// the library found, and shows a frame the library could not decode as
// damaged. Single-threaded.
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "capture/CaptureReader.h"
#include "wire/MessageSystem.h"

namespace ORQDump {

class CaptureDump {
public:
    struct Options {
        bool csv = false;
        double fromSeconds = -std::numeric_limits<double>::infinity();
        double toSeconds = std::numeric_limits<double>::infinity();
    };

    // Exit codes of run().
    enum : int { DUMP_OK = 0, DUMP_REFUSED = 1, DUMP_NOT_A_FILE = 2, DUMP_CUT_SHORT = 3 };

    explicit CaptureDump(const Options& options);

    // Writes the frames of the capture at path to out, and to err why the
    // header was refused or where reading stopped early. A path that is no
    // regular file (a FIFO, a directory, a device) is refused at once.
    int run(const std::string& path, std::FILE* out, std::FILE* err);

private:
    // One direction of the link.
    struct Side {
        const char* label;  // "rx": read from the link, "tx": written to it
        ORQ::MessageSystem ms;
        std::vector<uint8_t> gathered;  // bytes since the last end byte
    };

    void feed(Side& side, double seconds, const std::vector<uint8_t>& bytes);
    void endOfFrame(Side& side, double seconds);
    void gap(double seconds, const std::vector<uint8_t>& payload);
    void row(double seconds, const char* direction, const std::string& sender, const std::string& receiver,
             const std::string& dataType, const std::string& name, const std::string& channel, const char* status,
             const std::string& values, const std::string& hex);
    bool inWindow(double seconds) const;

    Options options;
    std::FILE* out;
    Side received;
    Side written;
};

}  // namespace ORQDump
