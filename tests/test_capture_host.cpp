// Recording through liborq.so as a host uses it: startCapture/stopCapture and
// ORQ_CAPTURE around a run on a pseudo-terminal where a simulated flight
// board and ground station report; the capture then read back, dumped and
// plotted by the tools.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "CaptureBuilder.h"
#include "capture/CaptureReader.h"
#include "DataTypes.h"
#include "DeviceFrames.h"
#include "host/Dll.h"
#include "HostLibrary.h"
#include "ProcessProbe.h"
#include "Simulator.h"
#include "StdoutCapture.h"
#include "Watchdog.h"

using namespace std::chrono_literals;
using ORQ::CaptureFormat;
using ORQ::CaptureReader;
using ORQ::test::Bytes;
using ORQ::test::eventually;

namespace {

const int kBoard = 5;
const int kStation = 6;
const int kOwnID = 1;

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/orq-capture-host-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf " + path).c_str()); }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d)) {
                if (e->d_name[0] != '.') out.push_back(e->d_name);
            }
            closedir(d);
        }
        return out;
    }
    std::string path;
};

long fileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// What a capture holds, read the way every consumer reads it.
struct Contents {
    CaptureReader::End end = CaptureReader::End::NOT_YET;
    CaptureFormat::Header header;
    uint64_t receivedBytes = 0;
    Bytes written;
    std::size_t records = 0;
    bool endsWithGap = false;
};

Contents readCapture(const std::string& path) {
    Contents c;
    CaptureReader reader(path.c_str());
    c.header = reader.header();
    CaptureReader::Record r;
    while (reader.next(r)) {
        ++c.records;
        if (r.kind == CaptureFormat::KIND_RECEIVED) c.receivedBytes += r.bytes.size();
        if (r.kind == CaptureFormat::KIND_WRITTEN) c.written.insert(c.written.end(), r.bytes.begin(), r.bytes.end());
        c.endsWithGap = r.kind == CaptureFormat::KIND_GAP;
    }
    c.end = reader.end();
    return c;
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// Runs a shell command; its exit code, or -1.
int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string kTools = std::string(ORQ_BINARY_DIR) + "/tools/";

class Recording : public ::testing::Test {
protected:
    Recording() : lib(ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY)) {}

    void SetUp() override {
        ASSERT_TRUE(sim.openPty());
        ASSERT_TRUE(sim.addDevice(kBoard, ORQSim::SimDevice::FlightBoard));
        ASSERT_TRUE(sim.addDevice(kStation, ORQSim::SimDevice::GroundStation));
        ASSERT_TRUE(sim.start());
    }
    void TearDown() override {
        lib.deinit();
        lib.stopCapture();
        sim.stop();
    }

    bool typed() { return typeOf(kBoard) == 1 && typeOf(kStation) == 0; }
    int typeOf(int id) {
        int type = -1;
        return lib.getData(id, 30, &type, 0) == ERROR_NO ? type : -1;
    }
    int receivedBytes() {
        int n = -1;
        lib.getData(kOwnID, 47, &n, 0);
        return n;
    }
    void startAndWaitForBothDevices() {
        ASSERT_EQ(ERROR_NO, lib.callInit(kOwnID, 0, sim.path().c_str()));
        ASSERT_TRUE(eventually([&] { return typed(); }, 30s)) << "both devices are typed";
    }

    ORQ::test::HostLibrary& lib;
    ORQSim::Simulator sim;
    TempDir dir;
};

}  // namespace

TEST_F(Recording, ACaptureStartedBeforeInitHoldsEveryByteOfTheRun) {
    const std::string path = dir.file("run.orqcap");
    ASSERT_EQ(ERROR_NO, lib.startCapture(path.c_str()));
    startAndWaitForBothDevices();
    ASSERT_TRUE(eventually([&] { return receivedBytes() > 20000; }, 30s));
    lib.deinit();  // ends the capture; the statistics stay readable

    const Contents c = readCapture(path);
    EXPECT_EQ(c.end, CaptureReader::End::CLEAN);
    EXPECT_EQ(c.header.ownID, kOwnID);
    EXPECT_EQ(std::string(c.header.connectionText()), sim.path());
    EXPECT_FALSE(c.endsWithGap);
    EXPECT_EQ(c.receivedBytes, static_cast<uint64_t>(receivedBytes())) << "every byte read is in the capture";
    EXPECT_TRUE(contains(c.written, ORQ::test::smalFrame(ORQ::DataType::typeRequest, kOwnID, kBoard, 0))) << "the type request to the board";
    EXPECT_TRUE(contains(c.written, ORQ::test::smalFrame(ORQ::DataType::typeRequest, kOwnID, kStation, 0)));
}

TEST_F(Recording, ACaptureStartedBeforeAFailedInitWaitsForTheNextStart) {
    const std::string path = dir.file("run.orqcap");
    ASSERT_EQ(ERROR_NO, lib.startCapture(path.c_str()));
    EXPECT_EQ(ERROR_START_DLL, lib.callInit(kOwnID, 0, (dir.path + "/no-such-device").c_str()));
    startAndWaitForBothDevices();
    lib.deinit();

    const Contents c = readCapture(path);
    EXPECT_EQ(c.end, CaptureReader::End::CLEAN);
    EXPECT_EQ(std::string(c.header.connectionText()), sim.path());
    EXPECT_EQ(c.receivedBytes, static_cast<uint64_t>(receivedBytes()));
}

TEST_F(Recording, ASecondStartSwitchesFilesAndStopEndsTheCapture) {
    startAndWaitForBothDevices();
    const std::string first = dir.file("first.orqcap");
    const std::string second = dir.file("second.orqcap");
    // The writer reserves file space ahead: the size says nothing until the file is closed.
    auto afterMoreBytes = [&] {
        const int before = receivedBytes();
        return eventually([&] { return receivedBytes() > before + 2000; }, 20s);
    };
    ASSERT_EQ(ERROR_NO, lib.startCapture(first.c_str()));
    ASSERT_TRUE(afterMoreBytes());
    ASSERT_EQ(ERROR_NO, lib.startCapture(second.c_str()));
    const Contents a = readCapture(first);
    EXPECT_EQ(a.end, CaptureReader::End::CLEAN) << "the first file is closed by the switch";
    EXPECT_GT(a.receivedBytes, 0u);

    ASSERT_TRUE(afterMoreBytes());
    EXPECT_EQ(ERROR_NO, lib.stopCapture());
    const long closedSize = fileSize(second);
    const Contents b = readCapture(second);
    EXPECT_EQ(b.end, CaptureReader::End::CLEAN);
    EXPECT_GT(b.receivedBytes, 0u);
    EXPECT_EQ(std::string(b.header.connectionText()), sim.path());
    ASSERT_TRUE(afterMoreBytes());
    EXPECT_EQ(fileSize(second), closedSize) << "nothing is recorded after stopCapture";
}

TEST_F(Recording, AFileThatCannotBeCreatedGives68) {
    EXPECT_EQ(ERROR_START_DLL, lib.startCapture((dir.path + "/no-such-directory/x.orqcap").c_str()));
    EXPECT_EQ(ERROR_START_DLL, lib.startCapture(nullptr));
    EXPECT_EQ(ERROR_NO, lib.stopCapture());
}

TEST_F(Recording, OrqCaptureStartsACaptureAtInitNamedByTheStartTime) {
    setenv("ORQ_CAPTURE", (dir.path + "/run-%t.orqcap").c_str(), 1);
    startAndWaitForBothDevices();
    lib.deinit();
    unsetenv("ORQ_CAPTURE");

    const std::vector<std::string> names = dir.names();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(run-\d{8}-\d{6}\.orqcap)"))) << names[0];
    const Contents c = readCapture(dir.file(names[0]));
    EXPECT_EQ(c.end, CaptureReader::End::CLEAN);
    EXPECT_GT(c.receivedBytes, 0u);
}

TEST_F(Recording, DumpAndPlotReadTheCapture) {
    const std::string path = dir.file("flight.orqcap");
    ASSERT_EQ(ERROR_NO, lib.startCapture(path.c_str()));
    startAndWaitForBothDevices();
    ASSERT_TRUE(eventually([&] { return receivedBytes() > 20000; }, 30s));
    lib.deinit();

    const std::string csv = dir.file("flight.csv");
    ASSERT_EQ(0, shell(kTools + "orq-dump --csv " + path + " > " + csv));
    const std::string png = dir.file("flight.png");
    ASSERT_EQ(0, shell("/usr/bin/python3 " + kTools + "orq-plot " + path + " -o " + png + " > /dev/null"));
    EXPECT_GT(fileSize(png), 10000);
    std::FILE* f = std::fopen(png.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char magic[8] = {};
    EXPECT_EQ(std::fread(magic, 1, 8, f), 8u);
    std::fclose(f);
    EXPECT_EQ(0, std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8));

    // Cut short mid-record: the dump says so and still shows what came before.
    ASSERT_EQ(0, truncate(path.c_str(), fileSize(path) - 3));
    EXPECT_EQ(3, shell(kTools + "orq-dump " + path + " > " + dir.file("cut.txt") + " 2> " + dir.file("cut.err")));
    EXPECT_GT(fileSize(dir.file("cut.txt")), 1000);
    EXPECT_EQ(0, shell("grep -q 'capture truncated' " + dir.file("cut.err")));
    EXPECT_EQ(1, shell(kTools + "orq-dump " + csv + " 2> /dev/null")) << "a CSV file is no capture";
}

// The capture's file may not grow beyond a small limit: the link goes on
// mirroring, the capture ends with the gap record of what it lost, and the
// process lives. Run in a child, whose file size limit does not touch the
// test runner.
TEST(RecordingLimits, AFileThatCannotGrowNeverHoldsUpTheLink) {
    TempDir dir;
    const std::string path = dir.file("limited.orqcap");
    const rlim_t limit = 16384;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);  // a process with a size limit sees EFBIG instead of dying
        struct rlimit rl = {limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(10);
        ORQSim::Simulator sim;
        if (!sim.openPty() || !sim.addDevice(kBoard, ORQSim::SimDevice::FlightBoard) || !sim.start()) _exit(11);
        ORQ::test::HostLibrary& lib = ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY);
        if (lib.startCapture(path.c_str()) != ERROR_NO) _exit(12);
        if (lib.callInit(kOwnID, 0, sim.path().c_str()) != ERROR_NO) _exit(13);
        auto value = [&](int id, int dataID) {
            int v = -1;
            return lib.getData(id, dataID, &v, 0) == ERROR_NO ? v : -1;
        };
        if (!eventually([&] { return value(kBoard, 30) == 1; }, 30s)) _exit(14);
        // Well past the limit: the file stops growing, the link does not.
        if (!eventually([&] { return value(kOwnID, 47) > 3 * static_cast<int>(limit); }, 30s)) _exit(15);
        // A value set now must still come back from the board.
        if (lib.setData(kBoard, 32, 1, 0) != ERROR_NO) _exit(16);
        if (!eventually([&] { return value(kBoard, 32) == 1; }, 20s)) _exit(17);
        lib.deinit();
        sim.stop();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the host process died (signal " << WTERMSIG(status) << ")";
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the step that failed in the host process";

    const Contents c = readCapture(path);
    EXPECT_EQ(c.end, CaptureReader::End::CLEAN);
    EXPECT_TRUE(c.endsWithGap);
    EXPECT_GT(c.receivedBytes, 0u);
    EXPECT_LE(fileSize(path), static_cast<long>(limit));
}

// --- The file being replayed, and paths that are no regular file ---------------

namespace {

Bytes fileBytes(const std::string& path) {
    Bytes out;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return out;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

const Bytes kFrame = {0xFD, 0x03, 0x36, 0x05, 0x01, 0x00, 0x01, 0x32, 0xFC};

// A capture of a minute: frames now and then, the last one at 60 s, so that
// a replay at the recorded pace is still running while the test acts.
void writeMinuteCapture(const std::string& path) {
    ORQ::test::CaptureBuilder b;
    for (uint64_t i = 0; i < 2000; ++i) b.add(CaptureFormat::KIND_RECEIVED, i * 1000, kFrame);
    b.add(CaptureFormat::KIND_RECEIVED, 60000000, kFrame).save(path);
}

// How a capture path may name the replayed file.
struct Spelling {
    const char* name;
    std::function<std::string(const TempDir&, const std::string&)> capturePath;
};

const Spelling kSpellings[] = {
    {"SamePath", [](const TempDir&, const std::string& replayed) { return replayed; }},
    {"OtherSpelling",
     [](const TempDir& dir, const std::string&) {
         mkdir(dir.file("sub").c_str(), 0755);
         return dir.path + "/./sub/../flight.orqcap";
     }},
    {"Symlink",
     [](const TempDir& dir, const std::string& replayed) {
         EXPECT_EQ(0, symlink(replayed.c_str(), dir.file("link.orqcap").c_str()));
         return dir.file("link.orqcap");
     }},
    {"HardLink",
     [](const TempDir& dir, const std::string& replayed) {
         EXPECT_EQ(0, link(replayed.c_str(), dir.file("hard.orqcap").c_str()));
         return dir.file("hard.orqcap");
     }},
};

class ReplayedFile : public ::testing::TestWithParam<Spelling> {
protected:
    ReplayedFile() : lib(ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY)) {}
    void TearDown() override {
        lib.deinit();
        lib.stopCapture();
        unsetenv("ORQ_CAPTURE");
    }
    ORQ::test::HostLibrary& lib;
    TempDir dir;
};

}  // namespace

// A capture never writes the file being replayed, whichever comes first and
// however the path is spelled: the later step is refused and the file stays
// as it was, byte for byte.
TEST_P(ReplayedFile, IsNeverWrittenByACapture) {
    const std::string replayed = dir.file("flight.orqcap");
    writeMinuteCapture(replayed);
    const Bytes original = fileBytes(replayed);
    const std::string capture = GetParam().capturePath(dir, replayed);
    const std::string replay = "replay://" + replayed;
    const std::string refused = "[Capture] refused: " + capture + " is the file being replayed";
    ORQ::test::StdoutCapture out;

    // Armed before init: init refuses, the armed capture stays armed.
    ASSERT_EQ(ERROR_NO, lib.startCapture(capture.c_str()));
    EXPECT_EQ(ERROR_START_DLL, lib.callInit(kOwnID, 0, replay.c_str()));
    EXPECT_EQ(1u, out.count(refused));
    lib.deinit();
    lib.stopCapture();
    EXPECT_TRUE(fileBytes(replayed) == original) << "armed capture";

    // Named by ORQ_CAPTURE.
    setenv("ORQ_CAPTURE", capture.c_str(), 1);
    EXPECT_EQ(ERROR_START_DLL, lib.callInit(kOwnID, 0, replay.c_str()));
    EXPECT_EQ(2u, out.count(refused));
    lib.deinit();
    unsetenv("ORQ_CAPTURE");
    EXPECT_TRUE(fileBytes(replayed) == original) << "ORQ_CAPTURE";

    // Started while the replay runs.
    ASSERT_EQ(ERROR_NO, lib.callInit(kOwnID, 0, replay.c_str()));
    EXPECT_EQ(ERROR_START_DLL, lib.startCapture(capture.c_str()));
    EXPECT_EQ(3u, out.count(refused));
    lib.deinit();
    lib.stopCapture();
    EXPECT_TRUE(fileBytes(replayed) == original) << "startCapture during the replay";
}

INSTANTIATE_TEST_SUITE_P(Paths, ReplayedFile, ::testing::ValuesIn(kSpellings),
                         [](const ::testing::TestParamInfo<Spelling>& p) { return std::string(p.param.name); });

TEST(ReplayedFileMonitor, RefusesToRecordOntoItsReplay) {
    TempDir dir;
    const std::string replayed = dir.file("f.orqcap");
    writeMinuteCapture(replayed);
    const Bytes original = fileBytes(replayed);
    const std::string output = dir.file("monitor.txt");
    const int code = shell(kTools + "orq-monitor --duration 2 --capture " + replayed + " 'replay://" + replayed + "' > " +
                           output + " 2>&1");
    EXPECT_NE(0, code);
    const Bytes text = fileBytes(output);
    EXPECT_NE(std::string(text.begin(), text.end()).find(replayed + " is the file being replayed"), std::string::npos)
        << std::string(text.begin(), text.end());
    EXPECT_TRUE(fileBytes(replayed) == original);
}

namespace {

// A path that is no regular file, or cannot be made one.
struct Unusable {
    const char* name;
    std::function<std::string(const TempDir&)> make;
    int dumpCode;
    const char* reason;
};

// Kept open for the whole test: a FIFO with a peer.
int fifoPeer = -1;

const Unusable kUnusable[] = {
    {"FifoAlone",
     [](const TempDir& dir) {
         mkfifo(dir.file("fifo").c_str(), 0644);
         return dir.file("fifo");
     },
     2, "not a regular file (a FIFO)"},
    {"FifoWithAPeer",
     [](const TempDir& dir) {
         mkfifo(dir.file("fifo").c_str(), 0644);
         fifoPeer = open(dir.file("fifo").c_str(), O_RDWR | O_CLOEXEC);
         return dir.file("fifo");
     },
     2, "not a regular file (a FIFO)"},
    {"Directory", [](const TempDir& dir) { return dir.path; }, 2, "not a regular file (a directory)"},
    {"CharacterDevice", [](const TempDir&) { return std::string("/dev/null"); }, 2,
     "not a regular file (a character device)"},
    {"MissingDirectory", [](const TempDir& dir) { return dir.file("missing/x.orqcap"); }, 1,
     "No such file or directory"},
};

class UnusablePath : public ::testing::TestWithParam<Unusable> {
protected:
    UnusablePath() : lib(ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY)) {}
    void TearDown() override {
        lib.deinit();
        lib.stopCapture();
        unsetenv("ORQ_CAPTURE");
        if (fifoPeer >= 0) close(fifoPeer);
        fifoPeer = -1;
    }
    ORQ::test::HostLibrary& lib;
    TempDir dir;
};

}  // namespace

// Refused at once with the reason, never waited on: as a capture (the call or
// ORQ_CAPTURE, after which the lifecycle still answers), as a replay, and by
// orq-dump.
TEST_P(UnusablePath, IsRefusedPromptlyWithItsReason) {
    const std::string path = GetParam().make(dir);
    const std::string good = dir.file("good.orqcap");
    writeMinuteCapture(good);
    ORQ::test::Watchdog watchdog(std::string("refusing ") + GetParam().name, 60s);
    ORQ::test::StdoutCapture out;

    EXPECT_EQ(ERROR_START_DLL, lib.startCapture(path.c_str()));
    EXPECT_EQ(1u, out.count("[DLL] capture: cannot create \"" + path + "\": " + GetParam().reason));

    EXPECT_EQ(ERROR_START_DLL, lib.callInit(kOwnID, 0, ("replay://" + path).c_str()));
    EXPECT_NE(out.text().find("cannot open " + path + ": " + GetParam().reason), std::string::npos) << out.text();
    lib.deinit();

    // ORQ_CAPTURE that cannot be used: the link starts without a capture, as before.
    setenv("ORQ_CAPTURE", path.c_str(), 1);
    EXPECT_EQ(ERROR_NO, lib.callInit(kOwnID, 0, ("replay://" + good).c_str()));
    EXPECT_EQ(2u, out.count("[DLL] capture: cannot create \"" + path + "\": " + GetParam().reason));
    lib.deinit();
    unsetenv("ORQ_CAPTURE");
    EXPECT_EQ(ERROR_NO, lib.startCapture(dir.file("after.orqcap").c_str())) << "the library still answers";
    EXPECT_EQ(ERROR_NO, lib.stopCapture());

    const std::string err = dir.file("dump.err");
    EXPECT_EQ(GetParam().dumpCode, shell(kTools + "orq-dump " + path + " > /dev/null 2> " + err));
    const Bytes message = fileBytes(err);
    EXPECT_NE(std::string(message.begin(), message.end()).find(GetParam().reason), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Paths, UnusablePath, ::testing::ValuesIn(kUnusable),
                         [](const ::testing::TestParamInfo<Unusable>& p) { return std::string(p.param.name); });

// A capture that never began leaves no file behind, and never harms a file
// that was there before it.
TEST(CaptureNeverBegun, LeavesNoFileAndAnExistingOneAsItWas) {
    ORQ::test::HostLibrary& lib = ORQ::test::HostLibrary::load(ORQ_SHARED_LIBRARY);
    TempDir dir;
    const std::string fresh = dir.file("fresh.orqcap");
    ASSERT_EQ(ERROR_NO, lib.startCapture(fresh.c_str()));
    EXPECT_TRUE(exists(fresh)) << "made at once, so that a path that cannot be made is refused at once";
    ASSERT_EQ(ERROR_NO, lib.startCapture(fresh.c_str())) << "the same file again goes on waiting";
    EXPECT_EQ(ERROR_NO, lib.stopCapture());
    EXPECT_FALSE(exists(fresh));

    const std::string old = dir.file("old.orqcap");
    writeMinuteCapture(old);
    const Bytes original = fileBytes(old);
    ASSERT_EQ(ERROR_NO, lib.startCapture(old.c_str()));
    ASSERT_EQ(ERROR_NO, lib.startCapture(fresh.c_str())) << "a switch before the start";
    EXPECT_TRUE(fileBytes(old) == original);
    EXPECT_EQ(ERROR_NO, lib.stopCapture());
    EXPECT_TRUE(fileBytes(old) == original);
    EXPECT_FALSE(exists(fresh));
}
