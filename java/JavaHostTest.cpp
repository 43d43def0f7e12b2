// Runs the Java host HostCheck in a real JVM against liborq.so, on a
// pseudo-terminal where the simulator plays a flight board with ID 5, and
// checks what the Java calls returned and the lines the library wrote.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "Dll.h"
#include "Simulator.h"

namespace {

struct JvmRun {
    int exitStatus = -1;
    std::vector<std::string> lines;       // everything the JVM wrote, in order
    std::map<std::string, int> results;   // "RESULT name value" lines
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Runs the command to its end (bounded by `timeout`, which ends a hung JVM)
// with standard error joined to standard output.
JvmRun runJavaHost(const std::string& device) {
    const std::string command = "timeout 180 " + quoted(JAVA_EXECUTABLE) + " -Dorq.library=" +
                                quoted(ORQ_SHARED_LIBRARY) + " -cp " + quoted(ORQ_CLASSPATH) + " HostCheck " +
                                quoted(device) + " 2>&1";
    JvmRun run;
    FILE* out = popen(command.c_str(), "r");
    if (!out) return run;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), out)) > 0) text.append(buffer, n);
    const int status = pclose(out);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        run.lines.push_back(line);
        std::istringstream words(line);
        std::string tag, name;
        int value;
        if (words >> tag >> name >> value && tag == "RESULT") run.results[name] = value;
    }
    return run;
}

std::vector<size_t> positionsOf(const std::vector<std::string>& lines, const std::string& line) {
    std::vector<size_t> at;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line) at.push_back(i);
    return at;
}

size_t countBetween(const std::vector<std::string>& lines, const std::string& line, size_t from, size_t to) {
    size_t n = 0;
    for (size_t i = from + 1; i < to; ++i) n += lines[i] == line;
    return n;
}

// One JVM run serves every case: starting a JVM is the slow part.
class JavaHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim = new ORQSim::Simulator();
        if (!sim->openPty() || !sim->addDevice(5, ORQSim::SimDevice::FlightBoard) || !sim->start()) return;
        jvm = new JvmRun(runJavaHost(sim->path()));
        for (const std::string& l : jvm->lines) output += l + "\n";
    }
    static void TearDownTestSuite() {
        delete jvm;
        jvm = nullptr;
        delete sim;
        sim = nullptr;
    }
    void SetUp() override { ASSERT_NE(nullptr, jvm) << "the simulator did not start"; }

    static ORQSim::Simulator* sim;
    static JvmRun* jvm;
    static std::string output;  // for failure messages
};

ORQSim::Simulator* JavaHost::sim = nullptr;
JvmRun* JavaHost::jvm = nullptr;
std::string JavaHost::output;

TEST_F(JavaHost, ReadsAndSetsAFlightBoardThroughTheNativeMethods) {
    ASSERT_EQ(0, jvm->exitStatus) << output;
    const std::map<std::string, int> expected = {
        {"initMissingDevice", ERROR_START_DLL}, {"initNullDevice", ERROR_START_DLL}, {"init", ERROR_NO},
        {"boardType", 1}, {"neverHeard", 0}, {"setNoEntry", ERROR_DATATYPE_NOT_SUPPORTED},
        {"setBadIndex", ERROR_INDEX_NOT_SUPPORTED}, {"setMotorOn", ERROR_NO}, {"setGpsHold", ERROR_NO},
        {"gpsModeReported", 1}, {"deinit", ERROR_NO}, {"componentsBeforeInit", 0}, {"componentsPairs", 0},
        {"componentsBoardType", 1}, {"setAfterDeinit", ERROR_COMPONENT_NOT_SUPPORTED}};
    for (const auto& e : expected) {
        ASSERT_EQ(1u, jvm->results.count(e.first)) << e.first << " missing\n" << output;
        EXPECT_EQ(e.second, jvm->results.at(e.first)) << e.first << "\n" << output;
    }
    // Own ID 1, not the 5 Java passed: ID 1 names the library's link, which has received frames.
    EXPECT_GT(jvm->results["ownLinkMessages"], 0) << output;
    // The sets reached the board (the mode read back above came from it).
    int32_t motorOn = 0;
    EXPECT_TRUE(sim->currentValue(5, 31, 0, motorOn));
    EXPECT_EQ(1, motorOn);
}

TEST_F(JavaHost, BracketsEveryStartWithItsTwoLines) {
    const std::vector<size_t> enter = positionsOf(jvm->lines, "[DLL] Java_Dll_init()");
    const std::vector<size_t> exit = positionsOf(jvm->lines, "[DLL] Java_Dll_init() exit");
    ASSERT_EQ(3u, enter.size()) << output;
    ASSERT_EQ(3u, exit.size()) << output;
    const std::string failure = "[DLL] error init uart, shutdown!!!";
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_LT(enter[i], exit[i]) << output;
        if (i + 1 < 3) {
            EXPECT_LT(exit[i], enter[i + 1]) << output;
        }
        // The first two starts fail (missing device, null name), the third works.
        EXPECT_EQ(i < 2 ? 1u : 0u, countBetween(jvm->lines, failure, enter[i], exit[i])) << "start " << i << "\n"
                                                                                         << output;
    }
    EXPECT_EQ(1u, positionsOf(jvm->lines, "[DLL] Java_Dll_deinit()").size()) << output;
}

}  // namespace
