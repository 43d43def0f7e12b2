// orq-dump: prints every frame of a capture file, one line each, or a CSV table.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CaptureDump.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: orq-dump [--csv] [--from S] [--to S] CAPTURE\n"
                 "  --csv     one table row per frame: time_s,direction,sender,receiver,data_type,name,\n"
                 "            channel,status,values,hex (status ok, raw, damaged or gap)\n"
                 "  --from S  leave out frames before S seconds from the start of the capture\n"
                 "  --to S    leave out frames after S seconds\n"
                 "exit code: 0, 1 when the file is not a capture it can read, 2 for a bad argument or a\n"
                 "path that is no regular file (a FIFO, a directory, a device), 3 when it stops early\n"
                 "(truncated, damaged or not closed: every whole record before that point is shown)\n");
}

bool parseSeconds(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    ORQDump::CaptureDump::Options options;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--from" || arg == "--to") {
            ok = i + 1 < argc && parseSeconds(argv[++i], arg == "--from" ? options.fromSeconds : options.toSeconds);
        } else if (arg.size() > 1 && arg[0] == '-') {
            ok = false;
        } else if (path.empty()) {
            path = arg;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "orq-dump: bad argument %s\n", arg.c_str());
            usage();
            return 2;
        }
    }
    if (path.empty()) {
        usage();
        return 2;
    }

    // The frames go to the original standard output; the library's own
    // diagnostic lines (a frame it cannot decode is logged there) would
    // interleave with them, and the dump shows such frames itself.
    std::FILE* out = fdopen(dup(STDOUT_FILENO), "w");
    const int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (out == nullptr || devnull < 0 || dup2(devnull, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "orq-dump: cannot set up the output\n");
        return 2;
    }
    close(devnull);

    ORQDump::CaptureDump dump(options);
    const int code = dump.run(path, out, stderr);
    std::fclose(out);
    return code;
}
