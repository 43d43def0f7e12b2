// Runs Java hosts in a real JVM against liborq.so, each on a pseudo-terminal
// where the simulator plays a flight board with ID 5, and checks what the
// Java calls returned and the lines the library wrote: HostCheck on the class
// Dll, LinkCheck on the package org.orq, and the example of examples/java.
#include <gtest/gtest.h>

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
    std::vector<std::string> lines;               // everything the JVM wrote, in order
    std::map<std::string, std::string> results;  // "RESULT name value" lines
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Runs the class `mainClass` on `device` to its end (bounded by `timeout`,
// which ends a hung JVM) with standard error joined to standard output.
JvmRun runJava(const std::string& mainClass, const std::string& device) {
    const std::string command = "timeout 180 " + quoted(JAVA_EXECUTABLE) + " -Dorq.library=" +
                                quoted(ORQ_SHARED_LIBRARY) + " -cp " + quoted(ORQ_CLASSPATH) + " " + mainClass +
                                " " + quoted(device) + " 2>&1";
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
        std::string tag, name, value;
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

// One JVM run of the class MainClass serves every case of a suite: starting a
// JVM is the slow part.
template <const char* MainClass>
class JvmOnSimulator : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim = new ORQSim::Simulator();
        if (!sim->openPty() || !sim->addDevice(5, ORQSim::SimDevice::FlightBoard) || !sim->start()) return;
        jvm = new JvmRun(runJava(MainClass, sim->path()));
        for (const std::string& l : jvm->lines) output += l + "\n";
    }
    static void TearDownTestSuite() {
        delete jvm;
        jvm = nullptr;
        delete sim;
        sim = nullptr;
    }
    void SetUp() override { ASSERT_NE(nullptr, jvm) << "the simulator did not start"; }

    // Every expected "RESULT name value" line is there with its value.
    static void expectResults(const std::map<std::string, std::string>& expected) {
        for (const auto& e : expected) {
            ASSERT_EQ(1u, jvm->results.count(e.first)) << e.first << " missing\n" << output;
            EXPECT_EQ(e.second, jvm->results.at(e.first)) << e.first << "\n" << output;
        }
    }

    static inline ORQSim::Simulator* sim = nullptr;
    static inline JvmRun* jvm = nullptr;
    static inline std::string output;  // for failure messages
};

constexpr char hostCheck[] = "HostCheck";
constexpr char linkCheck[] = "org.orq.LinkCheck";
constexpr char example[] = "org.orq.example.Example";
using JavaHost = JvmOnSimulator<hostCheck>;
using JavaLink = JvmOnSimulator<linkCheck>;
using JavaExample = JvmOnSimulator<example>;

TEST_F(JavaHost, ReadsAndSetsAFlightBoardThroughTheNativeMethods) {
    ASSERT_EQ(0, jvm->exitStatus) << output;
    const std::map<std::string, int> codes = {
        {"initMissingDevice", ERROR_START_DLL}, {"initNullDevice", ERROR_START_DLL}, {"init", ERROR_NO},
        {"boardType", 1}, {"neverHeard", 0}, {"setNoEntry", ERROR_DATATYPE_NOT_SUPPORTED},
        {"setBadIndex", ERROR_INDEX_NOT_SUPPORTED}, {"setMotorOn", ERROR_NO}, {"setGpsHold", ERROR_NO},
        {"gpsModeReported", 1}, {"deinit", ERROR_NO}, {"componentsBeforeInit", 0}, {"componentsPairs", 0},
        {"componentsBoardType", 1}, {"setAfterDeinit", ERROR_COMPONENT_NOT_SUPPORTED}};
    std::map<std::string, std::string> expected;
    for (const auto& c : codes) expected[c.first] = std::to_string(c.second);
    expectResults(expected);
    // Own ID 1, not the 5 Java passed: ID 1 names the library's link, which has received frames.
    ASSERT_EQ(1u, jvm->results.count("ownLinkMessages")) << output;
    EXPECT_GT(std::stoi(jvm->results["ownLinkMessages"]), 0) << output;
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

// Every code of the host header has an exception class of its own, named
// after it, that reports that code and name; other codes get the base class.
TEST_F(JavaLink, TurnsEveryCodeIntoTheExceptionNamedAfterIt) {
    struct Row {
        int code;
        const char* className;
        const char* codeName;
    };
    const Row rows[] = {
        {ERROR_UNEXPECTED_EXCEPTION, "UnexpectedException", "ERROR_UNEXPECTED_EXCEPTION"},
        {ERROR_COMPONENT_NOT_SUPPORTED, "ComponentNotSupportedException", "ERROR_COMPONENT_NOT_SUPPORTED"},
        {ERROR_DATATYPE_NOT_SUPPORTED, "DatatypeNotSupportedException", "ERROR_DATATYPE_NOT_SUPPORTED"},
        {ERROR_COMPONENTTYPE_NOT_SUPPORTED, "ComponenttypeNotSupportedException",
         "ERROR_COMPONENTTYPE_NOT_SUPPORTED"},
        {ERROR_INDEX_NOT_SUPPORTED, "IndexNotSupportedException", "ERROR_INDEX_NOT_SUPPORTED"},
        {ERROR_BUFFER_TOO_SMAL, "BufferTooSmalException", "ERROR_BUFFER_TOO_SMAL"},
        {ERROR_INVALID_VALUE, "InvalidValueException", "ERROR_INVALID_VALUE"},
        {ERROR_START_DLL, "StartDllException", "ERROR_START_DLL"},
        {-60, "OrqException", "unknown"},
        {-69, "OrqException", "unknown"}};
    for (const Row& row : rows) {
        const std::string code = std::to_string(row.code);
        const std::string line = "CODE " + code + " " + row.className + " " + row.codeName + " " + code;
        EXPECT_EQ(1u, positionsOf(jvm->lines, line).size()) << line << "\n" << output;
    }
}

TEST_F(JavaLink, ThrowsForEveryFailureAndRefusesASecondLinkAndAClosedOne) {
    EXPECT_EQ(0, jvm->exitStatus) << output;
    const std::string closed = "IllegalStateException";
    expectResults({
        {"openMissingDevice", "StartDllException"},
        {"openNul", "IllegalArgumentException"},
        {"openOwnIdZero", "IllegalArgumentException"},
        {"openOwnId256", "IllegalArgumentException"},
        {"waitNode", "typed"},
        // Refused, and the first link went on without a restart.
        {"secondOpen", "StartDllException"},
        {"typedAfterSecondOpen", "typed"},
        {"boardType", "1"},
        {"boardListed", "true"},
        {"ownLinkFramesPositive", "true"},
        {"getNeverHeard", "ComponentNotSupportedException"},
        {"setNoEntry", "DatatypeNotSupportedException"},
        {"setBadIndex", "IndexNotSupportedException"},
        {"setMotorOn", "set"},
        {"waitNeverHeard", "ComponentNotSupportedException"},
        {"waitBadId", "InvalidValueException"},
        {"waitNegativeTime", "InvalidValueException"},
        {"waitLongestTime", "typed"},
        {"waitEndedByClose", "StartDllException"},
        {"closeAgain", "closed"},
        {"isOpenAfterClose", "false"},
        {"getAfterClose", closed},
        {"setAfterClose", closed},
        {"waitAfterClose", closed},
        {"componentsAfterClose", closed},
        {"reopenedWaitNode", "typed"},
        {"dllInit", "0"},
        {"openWhileDllRuns", "StartDllException"},
        {"openAfterDllDeinit", "opened"},
    });
    int32_t motorOn = 0;
    EXPECT_TRUE(sim->currentValue(5, 31, 0, motorOn));
    EXPECT_EQ(1, motorOn);
}

TEST_F(JavaExample, WaitsForTheBoardReadsItsPositionAndSetsItsGpsMode) {
    EXPECT_EQ(0, jvm->exitStatus) << output;
    auto printed = [](const std::string& prefix) {
        for (const std::string& l : jvm->lines)
            if (l.compare(0, prefix.size(), prefix) == 0) return l;
        return std::string();
    };
    EXPECT_NE(std::string::npos, printed("nodes:").find(" 5 (type 1)")) << output;
    const std::string position = printed("flight board 5 position: longitude ");
    ASSERT_FALSE(position.empty()) << output;
    EXPECT_EQ(std::string::npos, position.find("longitude 0 ")) << output;
    EXPECT_EQ("flight board 5 GPS mode: 2", printed("flight board 5 GPS mode:")) << output;
    int32_t mode = 0;
    EXPECT_TRUE(sim->currentValue(5, 32, 0, mode));
    EXPECT_EQ(2, mode);
}

}  // namespace
