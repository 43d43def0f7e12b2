// The work whose instructions run_bench.sh counts under
// `valgrind --tool=callgrind`, N and then 2N times: the difference of the two
// totals divided by N is the cost of one, free of the start-up work that both
// runs share.
//
//   bench_instructions receive N       N acceleration reports of the only
//                                      mirrored flight board, one frame per read
//   bench_instructions receive-last N  the same from the oldest of 254 boards
//   bench_instructions lean N          the same reports through the yardstick
//                                      path (LeanPath.h)
//   bench_instructions tick B N        N main-loop ticks with B boards mirrored
//
// The measured part is in functions of its own (bench::measured*), so that a
// profile can collect exactly it: bench/profile.sh.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BenchSupport.h"
#include "LeanPath.h"
#include "ReceiveRig.h"

namespace bench {

__attribute__((noinline)) void measuredReceive(ReceiveRig& rig, const std::vector<Bytes>& frames, long n) {
    for (long i = 0; i < n; ++i) rig.feed(frames[static_cast<size_t>(i) % frames.size()]);
}

__attribute__((noinline)) void measuredLean(LeanPath& path, const std::vector<Bytes>& frames, long n) {
    for (long i = 0; i < n; ++i) {
        const Bytes& f = frames[static_cast<size_t>(i) % frames.size()];
        path.feed(f.data(), f.size());
    }
}

__attribute__((noinline)) void measuredTicks(ReceiveRig& rig, long n) {
    for (long i = 0; i < n; ++i) rig.tick();
}

}  // namespace bench

namespace {

using bench::Bytes;
using bench::ReceiveRig;

std::vector<Bytes> reports() {
    std::vector<Bytes> frames;
    for (unsigned i = 0; i < 20000; ++i) {
        frames.push_back(bench::accFrame(ReceiveRig::boardID, ReceiveRig::hostID, bench::distinctX(i), -2, 3));
    }
    return frames;
}

int expectedX(long n) { return bench::distinctX(static_cast<unsigned>((n - 1) % 20000)); }

// The same work as measured is done first, so that both runs start alike.
const unsigned warm = 1000;

int receive(unsigned boards, long n) {
    ReceiveRig rig(boards);
    const std::vector<Bytes> frames = reports();
    for (unsigned i = 0; i < warm; ++i) rig.feed(frames[i]);
    bench::measuredReceive(rig, frames, n);
    if (n > 0 && rig.accX() != expectedX(n)) {
        std::fprintf(stderr, "the last report was not mirrored\n");
        return 1;
    }
    return 0;
}

int lean(long n) {
    bench::LeanPath path;
    path.addBoard(ReceiveRig::boardID);
    const std::vector<Bytes> frames = reports();
    for (unsigned i = 0; i < warm; ++i) path.feed(frames[i].data(), frames[i].size());
    bench::measuredLean(path, frames, n);
    if (n > 0 && path.accX(ReceiveRig::boardID) != expectedX(n)) {
        std::fprintf(stderr, "the last report was not mirrored\n");
        return 1;
    }
    return 0;
}

int tick(unsigned boards, long n) {
    ReceiveRig rig(boards);
    for (unsigned i = 0; i < warm; ++i) rig.tick();
    bench::measuredTicks(rig, n);
    // No board may age out meanwhile: N ticks of 10 ms stay far below the
    // age limit for any N the script uses.
    if (rig.mirrored() != boards) {
        std::fprintf(stderr, "%u of %u boards left\n", rig.mirrored(), boards);
        return 1;
    }
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: bench_instructions receive|receive-last|lean N | tick BOARDS N\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const char* what = argv[1];
    if (std::strcmp(what, "tick") == 0) {
        if (argc < 4) return usage();
        const long boards = std::atol(argv[2]);
        if (boards < 1 || boards > static_cast<long>(ReceiveRig::maxBoards)) return usage();
        return tick(static_cast<unsigned>(boards), std::atol(argv[3]));
    }
    const long n = std::atol(argv[2]);
    if (std::strcmp(what, "receive") == 0) return receive(1, n);
    if (std::strcmp(what, "receive-last") == 0) return receive(ReceiveRig::maxBoards, n);
    if (std::strcmp(what, "lean") == 0) return lean(n);
    return usage();
}
