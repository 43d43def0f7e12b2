// orq-monitor as a user runs it: on a pseudo-terminal where the simulator
// plays a flight board and a ground station, it lists both nodes from the
// library's node list, with their values.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "Simulator.h"

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
    sim.stop();
}

}  // namespace
