// Re-running the current test program as a child process that runs one test of it: for
// checks that need a fresh process, its exit, or a debugger of the test's own.
#ifndef SUPPORT_CHILD_TEST_RUNNER_H_
#define SUPPORT_CHILD_TEST_RUNNER_H_

#include <string>

namespace test {

// The command line that runs only |test_name| of the current program, for example
// "PlatformThreadChild.DISABLED_NameThreads". Bodies that only a child should run are
// disabled tests, which a normal run skips.
std::wstring ChildTestCommandLine(const std::string& test_name);

// Runs that child and waits up to |timeout_ms| for it to end. Answers false when it could
// not be started or did not end in time, in which case it is terminated.
bool RunChildTest(const std::string& test_name, unsigned long timeout_ms,
                  unsigned long* exit_code);

}  // namespace test

#endif  // SUPPORT_CHILD_TEST_RUNNER_H_
