#pragma once
// What a test can observe about its own process: open descriptors, running
// threads, and whether a call finishes at all. Waits take generous deadlines;
// they detect a hang, they never measure speed.
#include <chrono>
#include <cstddef>
#include <functional>

namespace ORQ {
namespace test {

// Entries of /proc/self/fd (the count includes the one used to list them).
std::size_t openDescriptorCount();
// Entries of /proc/self/task.
std::size_t threadCount();
// Polls `condition` until it holds or the timeout passes.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
// Runs `call` on a helper thread; true when it returned within the timeout.
// A call that hangs is left running (the test has failed anyway).
bool finishesWithin(const std::function<void()>& call, std::chrono::milliseconds timeout);

}  // namespace test
}  // namespace ORQ
