// Recording through liborq.so as a host uses it: startCapture/stopCapture and
// ORQ_CAPTURE around a run on a pseudo-terminal where a simulated flight
// board and ground station report; the capture then read back, dumped and
// plotted by the tools.
#include <gtest/gtest.h>

#include <dirent.h>
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
#include <regex>
#include <string>
#include <vector>

#include "CaptureReader.h"
#include "DataTypes.h"
#include "DeviceFrames.h"
#include "Dll.h"
#include "HostLibrary.h"
#include "ProcessProbe.h"
#include "Simulator.h"

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
