#pragma once
// Prints a capture frame by frame: each direction's bytes go through a
// message system of their own (driver mode), handed over at every end byte
// exactly as the serial driver hands them over, so the dump finds the frames
// the library found, and shows a frame the library could not decode as
// damaged. Values are shown in their units (DataUnit). The CSV table has one
// column per field of the chosen data types, the same columns for every file.
// Single-threaded.
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "PayloadFormat.h"
#include "capture/CaptureReader.h"
#include "wire/MessageSystem.h"

namespace ORQDump {

class CaptureDump {
public:
    struct Options {
        bool csv = false;
        double fromSeconds = -std::numeric_limits<double>::infinity();
        double toSeconds = std::numeric_limits<double>::infinity();
        // The data types whose frames are shown; empty: all. Damaged frames
        // and gaps are always shown (what they held is not known).
        std::vector<uint8_t> types;
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
    // One line of the output; cells: the CSV's field columns, "" where the
    // frame has no such field.
    struct Row {
        double seconds;
        const char* direction;
        std::string sender, receiver, dataType, name, channel;
        const char* status;
        std::string values;  // the text output's values
        std::vector<std::string> cells;
        std::string hex;
    };
    void row(const Row& r);
    bool inWindow(double seconds) const;
    bool chosen(uint8_t dataType) const;
    void csvHeader();

    // A field column of the CSV: the report type it belongs to and its field.
    struct FieldColumn {
        uint8_t report;
        const PayloadFormat::Column* column;
    };

    Options options;
    std::vector<FieldColumn> fieldColumns;
    std::FILE* out;
    Side received;
    Side written;
};

}  // namespace ORQDump
