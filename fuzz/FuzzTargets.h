#pragma once
// Entry points of the fuzz targets. Each takes one input and returns 0; a
// broken invariant aborts with a line naming it. The libFuzzer programs call
// them from LLVMFuzzerTestOneInput, and the corpus replay test calls them with
// every checked-in input, so both run the same code.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Decodes one unframed layout and, when it decodes, re-serializes it.
int orqFuzzOneMessageDecode(const uint8_t* data, size_t size);
// Feeds a byte stream in pieces to the receive side of one message system.
int orqFuzzOneReceiveStream(const uint8_t* data, size_t size);
// Drives bytes through message system, manager and world model, interleaved
// with host data calls and clock ticks.
int orqFuzzOneReceivePath(const uint8_t* data, size_t size);
// Reads and replays the bytes as a capture file.
int orqFuzzOneCaptureFile(const uint8_t* data, size_t size);

#define ORQ_FUZZ_CHECK(cond)                                                        \
    do {                                                                            \
        if (!(cond)) {                                                              \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, \
                         #cond);                                                    \
            std::abort();                                                           \
        }                                                                           \
    } while (0)
