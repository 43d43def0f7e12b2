#pragma once
// A program the test starts, as a user would: its standard output goes to a
// file the test can search; the destructor stops it (SIGTERM, then SIGKILL
// after a grace period) and reaps it. Used from the test's thread only.
#include <chrono>
#include <string>
#include <vector>

namespace ORQ {
namespace test {

class ChildProcess {
public:
    // Starts program with args; output goes to outputPath. Throws
    // std::runtime_error when it cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& args, const std::string& outputPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Everything it has written so far.
    std::string output() const;
    // Waits for it to exit; its exit code, or -1 when it did not exit in time.
    int waitExit(std::chrono::milliseconds timeout);

private:
    int pid;
    int status = 0;
    bool exited = false;
    std::string outputPath;
};

}  // namespace test
}  // namespace ORQ
