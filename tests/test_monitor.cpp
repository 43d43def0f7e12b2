// orq-monitor as a user runs it: on a pseudo-terminal where the simulator
// plays a flight board and a ground station, it lists both nodes from the
// library's node list, with their values in units; a set given at the start
// waits for its node; a replay ends with a summary. And the advice it gives
// for a device the user may not open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "CaptureBuilder.h"
#include "DeviceFrames.h"
#include "OpenHint.h"
#include "Simulator.h"
#include "capture/CaptureFormat.h"

namespace {

struct CommandRun {
    int exitStatus = -1;
    std::string output;
};

// Runs the command to its end (bounded by `timeout`), standard error joined.
CommandRun runCommand(const std::string& command) {
    CommandRun run;
    FILE* out = popen(("timeout 120 " + command + " 2>&1").c_str(), "r");
    if (!out) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, out)) > 0) run.output.append(buffer, n);
    const int status = pclose(out);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(Monitor, ListsEveryTypedNodeWithItsValues) {
    ORQSim::Simulator sim;
    ASSERT_TRUE(sim.openPty());
    ASSERT_TRUE(sim.addDevice(5, ORQSim::SimDevice::FlightBoard));
    ASSERT_TRUE(sim.addDevice(6, ORQSim::SimDevice::GroundStation));
    ASSERT_TRUE(sim.start());

    // Plain (not a terminal) output: one line per node per second; the
    // duration leaves the devices ample time to be typed on a busy machine.
    const CommandRun run =
        runCommand(std::string(ORQ_BINARY_DIR) + "/tools/orq-monitor --duration 10 '" + sim.path() + "'");
    EXPECT_EQ(0, run.exitStatus) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(" node 5 flight-board alive 1")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(" node 6 ground-station alive 1")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(" | gps mode ")) << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex(R"( \| acc -?\d+\.\d{3} -?\d+\.\d{3} -?\d+\.\d{3} g \| )")))
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex(R"( \| compass -?\d+ -?\d+ -?\d+ raw \| )"))) << run.output;
    sim.stop();
}

const std::string kMonitor = std::string(ORQ_BINARY_DIR) + "/tools/orq-monitor ";

// A simulated flight board, node 5, started right before the monitor.
class MonitorSet : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.openPty());
        ASSERT_TRUE(sim.addDevice(5, ORQSim::SimDevice::FlightBoard));
        ASSERT_TRUE(sim.start());
    }
    void TearDown() override { sim.stop(); }
    ORQSim::Simulator sim;
};

// A set named on the command line goes out once its node is typed (about a
// second after the start), not at once with -62; the data ID may be a name.
TEST_F(MonitorSet, RightAfterStartWaitsForTheNodeAndArrives) {
    const CommandRun run = runCommand(kMonitor + "--duration=8 --set 5:GPS_MODE:0:2 '" + sim.path() + "'");
    EXPECT_EQ(0, run.exitStatus) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("set node 5 data GPS_MODE (32)[0] = 2 -> 0 ERROR_NO")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("node 5 data GPS_MODE (32)[0] reported back = 2")) << run.output;
    int32_t mode = -1;
    EXPECT_TRUE(sim.currentValue(5, 32, 0, mode));
    EXPECT_EQ(2, mode);
}

// A node that never comes: the set fails with the code's name once the set
// timeout has passed (not before), and the exit code says a set failed.
TEST_F(MonitorSet, ToANodeNeverTypedFailsAtTheTimeoutWithTheCodesName) {
    const CommandRun run = runCommand(kMonitor + "--duration 6 --set-timeout 2 --set 7:32:0:1 '" + sim.path() + "'");
    EXPECT_EQ(3, run.exitStatus) << run.output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.output, m,
                                  std::regex(R"(\[monitor\] (\d+\.\d) s set node 7 data 32\[0\] = 1 -> -62 )"
                                             R"(ERROR_COMPONENT_NOT_SUPPORTED \(failed: node 7 not typed within 2 s\))")))
        << run.output;
    const double at = std::stod(m[1]);
    EXPECT_GE(at, 2.0);
    EXPECT_LT(at, 5.0);
}

// A replay runs to the end of its capture, says what it saw and exits.
TEST(Monitor, ReplayEndsWithASummary) {
    char dir[] = "/tmp/orq-monitor-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    const std::string path = std::string(dir) + "/flight.orqcap";
    ORQ::test::CaptureBuilder b;
    for (uint64_t i = 0; i < 100; ++i) {
        b.add(ORQ::CaptureFormat::KIND_RECEIVED, i * 20000,
              i % 10 == 0 ? ORQ::test::smalFrame(4, 5, 1, 0, {1}) : ORQ::test::smalFrame(14, 5, 1, 0, ORQ::test::le32(95000)));
    }
    b.save(path);

    const CommandRun run = runCommand(kMonitor + "'replay://" + path + "?speed=0'");
    EXPECT_EQ(0, run.exitStatus) << run.output;
    EXPECT_TRUE(std::regex_search(
        run.output, std::regex(R"(\norq-monitor: replay ended after \d+\.\d s: 100 frames \(0 damaged\), \d+ bytes received; )"
                               R"(nodes: 5 flight-board\n)")))
        << run.output;
    std::system(("rm -rf " + std::string(dir)).c_str());
}

// --- Advice for a device the user may not open ----------------------------------

struct PermissionCase {
    unsigned mode;
    const char* says;      // in the advice
    bool suggestsJoining;  // usermod: only where the group may open the device
};

const PermissionCase kPermissionCases[] = {
    {0660, "belongs to group 'dialout'; add your user to it (sudo usermod -aG dialout $USER)", true},
    {0664, "belongs to group 'dialout'", true},
    {0600, "(mode 0600) belongs to user 'pilot' and only pilot may open it; run as pilot, or give it a group", false},
    {0640, "(mode 0640) belongs to user 'pilot' and only pilot may open it", false},
    {0000, "(mode 0000) may be opened for reading and writing by no one but root; run as root", false},
    {0440, "(mode 0440) may be opened for reading and writing by no one but root", false},
};

TEST(OpenHint, PermissionAdviceFollowsTheModeBits) {
    for (const PermissionCase& c : kPermissionCases) {
        SCOPED_TRACE(c.mode);
        const std::string text = OpenHint::permissionDenied("/dev/ttyUSB0", c.mode, "pilot", "dialout");
        EXPECT_EQ(0u, text.find("permission denied: /dev/ttyUSB0")) << text;
        EXPECT_NE(std::string::npos, text.find(c.says)) << text;
        EXPECT_EQ(c.suggestsJoining, text.find("usermod") != std::string::npos) << text;
    }
}

// The same advice for real files opened by a user that is not root, the way
// the monitor looks at them: the owner and group names come from the file.
TEST(OpenHint, ARefusedDeviceIsToldByItsOwnerAndMode) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to open the files as another user";
    char dir[] = "/tmp/orq-hint-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    ASSERT_EQ(0, chmod(dir, 0755));
    const group* g = getgrgid(0);
    ASSERT_NE(nullptr, g);
    for (const unsigned mode : {0660u, 0600u, 0000u}) {
        SCOPED_TRACE(mode);
        const std::string path = std::string(dir) + "/tty" + std::to_string(mode);
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
        ASSERT_EQ(0, chmod(path.c_str(), mode));
        int pipeEnds[2];
        ASSERT_EQ(0, pipe(pipeEnds));
        const pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
            const std::string text = OpenHint::forConnection(path);
            _exit(write(pipeEnds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
        }
        close(pipeEnds[1]);
        std::string text;
        char buffer[512];
        for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
        close(pipeEnds[0]);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(OpenHint::permissionDenied(path, mode, "root", g->gr_name), text);
        EXPECT_EQ(mode == 0660u, text.find("usermod") != std::string::npos) << text;
    }
    std::system(("rm -rf " + std::string(dir)).c_str());
}

}  // namespace
