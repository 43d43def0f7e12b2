// Feeds N acceleration reports of one mirrored flight board through the
// receive path, one frame per read, and nothing else. Run under
// `valgrind --tool=callgrind` with N and 2N: the difference of the two
// instruction totals divided by N is the path's cost per message, free of the
// start-up work that both runs share.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSupport.h"
#include "ReceiveRig.h"

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 10000;
    bench::ReceiveRig rig;
    std::vector<bench::Bytes> frames;
    for (unsigned i = 0; i < 20000; ++i) {
        frames.push_back(bench::accFrame(bench::ReceiveRig::boardID, bench::ReceiveRig::hostID,
                                         bench::distinctX(i), -2, 3));
    }
    // Warm: the same work as measured, so that both runs start alike.
    for (unsigned i = 0; i < 1000; ++i) rig.feed(frames[i]);
    for (long i = 0; i < n; ++i) rig.feed(frames[static_cast<size_t>(i) % frames.size()]);
    const int expected = bench::distinctX(static_cast<unsigned>((n - 1) % 20000));
    if (n > 0 && rig.accX() != expected) {
        std::fprintf(stderr, "the last report was not mirrored\n");
        return 1;
    }
    return 0;
}
