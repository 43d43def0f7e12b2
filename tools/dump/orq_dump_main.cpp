// orq-dump: prints every frame of a capture file, one line each, or a CSV table.
#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "CaptureDump.h"
#include "PayloadFormat.h"

namespace {

// Exit code of a bad command line, as before the dump's own codes.
const int badArgument = 2;

// A data type by number (0..255) or by the name the dump shows ("acc", "acc.set").
std::string addType(const std::string& text, std::vector<uint8_t>& types) {
    int type = ORQDump::PayloadFormat::number(text);
    if (type < 0) {
        try {
            std::size_t used = 0;
            type = std::stoi(text, &used);
            if (used != text.size()) type = -1;
        } catch (const std::exception&) {
            type = -1;
        }
    }
    if (type < 0 || type > 255) return "not a data type: " + text + " (a number 0..255 or a name orq-dump shows)";
    types.push_back(static_cast<uint8_t>(type));
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    ORQDump::CaptureDump::Options options;
    std::string path;
    std::vector<std::string> typeTexts;

    CLI::App app("Prints every frame of a capture file, decoded, one line each, or as a CSV table.", "orq-dump");
    app.set_version_flag("--version", std::string("orq-dump ") + ORQ_VERSION);
    app.add_flag("--csv", options.csv,
                 "one table row per frame: time_s,direction,sender,receiver,data_type,name,channel,status, one "
                 "column per field of the chosen types (TYPE.FIELD [UNIT], values in that unit), "
                 "gap.chunks,gap.bytes,gap.until [s], hex (status ok, raw, damaged or gap)");
    app.add_option("--from", options.fromSeconds, "leave out frames before S seconds from the start of the capture")
        ->type_name("S");
    app.add_option("--to", options.toSeconds, "leave out frames after S seconds")->type_name("S");
    app.add_option("--type", typeTexts,
                   "show only frames of these data types, by number or name (acc, acc.set, ...); the CSV has the "
                   "columns of these types only; damaged frames and gaps are always shown")
        ->type_name("T[,T...]")
        ->delimiter(',');
    app.add_option("CAPTURE", path, "the capture file")->required();
    app.footer(
        "exit code: 0, 1 when the file is not a capture it can read, 2 for a bad argument or a\n"
        "path that is no regular file (a FIFO, a directory, a device), 3 when it stops early\n"
        "(truncated, damaged or not closed: every whole record before that point is shown)");
    try {
        app.parse(argc, argv);
        for (const std::string& t : typeTexts) {
            const std::string error = addType(t, options.types);
            if (!error.empty()) throw CLI::ValidationError("--type", error);
        }
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : badArgument;
    }

    // The frames go to the original standard output; the library's own
    // diagnostic lines (a frame it cannot decode is logged there) would
    // interleave with them, and the dump shows such frames itself.
    std::FILE* out = fdopen(dup(STDOUT_FILENO), "w");
    const int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (out == nullptr || devnull < 0 || dup2(devnull, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "orq-dump: cannot set up the output\n");
        return badArgument;
    }
    close(devnull);

    ORQDump::CaptureDump dump(options);
    const int code = dump.run(path, out, stderr);
    std::fclose(out);
    return code;
}
