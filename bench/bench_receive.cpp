// In-process figures: the receive path from bytes to a mirrored field beside
// the lean yardstick path, with one and with 254 boards mirrored, the host's
// data calls, and the heap allocations of the receive path. Google Benchmark
// measures; the summary at the end sets each figure beside its goal.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "models/ComponentVKRClient.h"
#include "host/Dll.h"
#include "LeanPath.h"
#include "host/Library.h"
#include "ReceiveRig.h"
#include "routing/WorldModel.h"

// Every heap allocation of this program (the library's code is linked in
// statically) goes through these: operator new, and malloc, calloc and
// realloc, which some of the library's buffers use directly. While
// `counting` is set each is counted once. The counted work runs on one
// thread.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace {
bool counting = false;
size_t allocations = 0;

void* allocate(size_t n) {
    if (counting) ++allocations;
    return __libc_malloc(n == 0 ? 1 : n);
}
// Out of line: inlined into the standard allocators, the free() would be
// taken for the mismatched partner of the built-in operator new.
__attribute__((noinline)) void release(void* p) noexcept { __libc_free(p); }
}  // namespace

extern "C" {
void* malloc(size_t n) { return allocate(n); }
void* calloc(size_t n, size_t m) {
    if (counting) ++allocations;
    return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
    if (counting) ++allocations;
    return __libc_realloc(p, n);
}
void free(void* p) { __libc_free(p); }
}

void* operator new(size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace {

using bench::Bytes;
using bench::ReceiveRig;

// 20000 reports of the board with distinct values, each a frame of its own.
std::vector<Bytes> reports() {
    std::vector<Bytes> frames;
    for (unsigned i = 0; i < 20000; ++i) {
        frames.push_back(bench::accFrame(ReceiveRig::boardID, ReceiveRig::hostID, bench::distinctX(i), -2, 3));
    }
    return frames;
}

// One report per read: a line at its own pace delivers each frame by itself.
// state.range(0) boards are mirrored; the reports come from the oldest.
void BM_ReceivePath_FramePerRead(benchmark::State& state) {
    ReceiveRig rig(static_cast<unsigned>(state.range(0)));
    const std::vector<Bytes> frames = reports();
    size_t i = 0;
    for (auto _ : state) {
        rig.feed(frames[i]);
        if (++i == frames.size()) i = 0;
    }
    if (rig.accX() != bench::distinctX(static_cast<unsigned>((i + frames.size() - 1) % frames.size()))) {
        state.SkipWithError("the last report was not mirrored");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReceivePath_FramePerRead)->Arg(1)->Arg(ReceiveRig::maxBoards);

// The same reports through the yardstick path.
void BM_LeanPath_FramePerRead(benchmark::State& state) {
    bench::LeanPath path;
    path.addBoard(ReceiveRig::boardID);
    const std::vector<Bytes> frames = reports();
    size_t i = 0;
    for (auto _ : state) {
        path.feed(frames[i].data(), frames[i].size());
        if (++i == frames.size()) i = 0;
    }
    if (path.accX(ReceiveRig::boardID) !=
        bench::distinctX(static_cast<unsigned>((i + frames.size() - 1) % frames.size()))) {
        state.SkipWithError("the last report was not mirrored");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LeanPath_FramePerRead);

// One main-loop tick with state.range(0) boards mirrored. The manager's clock
// stands still after the first tick, so that no board ages out however many
// iterations the benchmark takes; each tick still does all of its work.
void BM_Tick(benchmark::State& state) {
    ReceiveRig rig(static_cast<unsigned>(state.range(0)));
    rig.tick();
    for (auto _ : state) rig.mm.run(rig.time());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Tick)->Arg(1)->Arg(ReceiveRig::maxBoards);

// Reads as large as a flooded port delivers them (state.range(0) bytes).
void BM_ReceivePath_Flood(benchmark::State& state) {
    ReceiveRig rig(1);
    const std::vector<Bytes> frames = reports();
    Bytes chunk;
    size_t perChunk = 0;
    for (const Bytes& f : frames) {
        if (chunk.size() + f.size() > static_cast<size_t>(state.range(0))) break;
        chunk.insert(chunk.end(), f.begin(), f.end());
        ++perChunk;
    }
    for (auto _ : state) rig.feed(chunk);
    state.SetItemsProcessed(state.iterations() * perChunk);
    state.counters["frames/read"] = static_cast<double>(perChunk);
}
BENCHMARK(BM_ReceivePath_Flood)->Arg(64)->Arg(4096);

// The host's view: the host's calls on a library instance over a manager
// that mirrors 8 flight boards (IDs 1 to 8), no thread and no device.
class HostRig {
public:
    HostRig() : instance(&mm, &ms) {
        mm.addMessageSystem(&ms);
        mm.setMyID(255);
        for (uint8_t id = 1; id <= boards; ++id) mm.getWorldModel()->addComponent(new ORQ::ComponentVKRClient(id));
    }
    ~HostRig() { drain(); }
    void drain() {
        ORQ::MessageQueue* q = ms.getMessageQueue();
        while (q->getFirstMessage() != nullptr) q->deleteFirst();
    }

    static const uint8_t boards = 8;
    ORQ::MessageManager mm;
    ORQ::MessageSystem ms;
    LibraryInstance instance;
};

void BM_GetData(benchmark::State& state) {
    HostRig rig;
    int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Library::getData(rig.instance, 5, 3, &value, 0));
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetData);

// A batch of 20 reads of one board; the figure is per item.
void BM_GetDataKomplex20(benchmark::State& state) {
    HostRig rig;
    int ids[20] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 17, 12, 13, 14, 1, 2, 30, 32, 35};
    int indexes[20] = {};
    int values[20] = {};
    for (auto _ : state) {
        int size = 20;
        if (Library::getDataKomplex(rig.instance, 5, ids, indexes, 20, values, &size) != ERROR_NO) {
            state.SkipWithError("getDataKomplex failed");
            break;
        }
        benchmark::DoNotOptimize(values);
    }
    state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_GetDataKomplex20);

// setData of a value whose message is not queued yet: the queue gains a
// node. Each iteration sets gpsMode on each of the 8 boards; the send side
// takes the 8 messages off the queue outside the timed part.
void BM_SetData_NewMessage(benchmark::State& state) {
    HostRig rig;
    int v = 0;
    for (auto _ : state) {
        v = (v + 1) % 3;
        const auto t0 = std::chrono::steady_clock::now();
        for (int id = 1; id <= HostRig::boards; ++id) {
            if (Library::setData(rig.instance, id, 32, v, 0) != ERROR_NO) state.SkipWithError("setData failed");
        }
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count() / HostRig::boards);
        rig.drain();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetData_NewMessage)->UseManualTime();

// setData while the previous set of the same value still waits in the queue:
// the queued payload is refreshed in place.
void BM_SetData_Refresh(benchmark::State& state) {
    HostRig rig;
    int v = 0;
    for (auto _ : state) {
        v = (v + 1) % 3;
        benchmark::DoNotOptimize(Library::setData(rig.instance, 5, 32, v, 0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetData_Refresh);

// Keeps every run's time per iteration (in ns) for the summary: the CPU time,
// which other work on a shared machine stretches far less than the wall
// time; a benchmark that times itself (manual time) keeps its own.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
                const bool manual = r.benchmark_name().find("/manual_time") != std::string::npos;
                const double t = manual ? r.GetAdjustedRealTime() : r.GetAdjustedCPUTime();
                ns[r.benchmark_name()] = t * unitToNs(r.time_unit);
                items[r.benchmark_name()] = r.counters.count("frames/read") ? r.counters.at("frames/read").value : 1.0;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    static double unitToNs(benchmark::TimeUnit u) {
        switch (u) {
            case benchmark::kSecond: return 1e9;
            case benchmark::kMillisecond: return 1e6;
            case benchmark::kMicrosecond: return 1e3;
            default: return 1.0;
        }
    }
    double perItem(const std::string& name) const {
        auto t = ns.find(name);
        if (t == ns.end()) return -1;
        return t->second / items.at(name);
    }

private:
    std::map<std::string, double> ns;
    std::map<std::string, double> items;
};

// Allocations per received report, one frame per read.
double allocationsPerReport() {
    ReceiveRig rig(1);
    const std::vector<Bytes> frames = reports();
    for (unsigned i = 0; i < 1000; ++i) rig.feed(frames[i]);
    const unsigned n = 10000;
    allocations = 0;
    counting = true;
    for (unsigned i = 0; i < n; ++i) rig.feed(frames[i]);
    counting = false;
    return static_cast<double>(allocations) / n;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    const double allocs = allocationsPerReport();
    std::FILE* out = stdout;
    std::fprintf(out, "\n");
    // Goal 1 is set in instructions (bench_instructions under callgrind); the
    // times are shown beside it.
    const double one = collector.perItem("BM_ReceivePath_FramePerRead/1");
    const double lean = collector.perItem("BM_LeanPath_FramePerRead");
    bench::beside(out, "1", "receive path, time per report vs lean path", one, lean, "ns");
    bench::figure(out, "1", "heap allocations per received report", allocs, "", 0, true);
    const double last = collector.perItem("BM_ReceivePath_FramePerRead/254");
    bench::compare(out, "2", "report from the oldest of 254 boards vs from the only board", last, one, "ns", 1.1);
    const double tick254 = collector.perItem("BM_Tick/254");
    const double tick1 = collector.perItem("BM_Tick/1");
    bench::compare(out, "3", "main-loop tick, 254 boards vs 1 board", tick254, tick1, "ns", 1.1);
    const double flood = collector.perItem("BM_ReceivePath_Flood/4096");
    if (flood >= 0) bench::info(out, "4", "receive path alone, time per report (4096-byte reads)", flood, "ns");

    // Figures of the first round, kept so that they do not slip.
    const double get = collector.perItem("BM_GetData");
    if (get >= 0) bench::figure(out, "r1", "getData", get, "ns", 150, true);
    const double komplex = collector.perItem("BM_GetDataKomplex20");
    if (komplex >= 0) bench::figure(out, "r1", "getDataKomplex, per item of 20", komplex / 20, "ns", 40, true);
    const double set = collector.perItem("BM_SetData_NewMessage/manual_time");
    if (set >= 0) bench::figure(out, "r1", "setData into the queue (new message)", set, "ns", 300, true);
    const double refresh = collector.perItem("BM_SetData_Refresh");
    if (refresh >= 0) bench::figure(out, "r1", "setData into the queue (refresh)", refresh, "ns", 300, true);
    return 0;
}
