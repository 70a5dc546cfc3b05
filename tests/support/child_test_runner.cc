// Starts the current test program again on one of its tests.
#include "support/child_test_runner.h"

#include "support/child_process.h"

namespace test {

std::wstring ChildTestCommandLine(const std::string& test_name) {
  return L"\"" + CurrentProgramPath() + L"\" --gtest_also_run_disabled_tests --gtest_filter=" +
         std::wstring(test_name.begin(), test_name.end());
}

bool RunChildTest(const std::string& test_name, unsigned long timeout_ms,
                  unsigned long* exit_code) {
  return RunToExit(ChildTestCommandLine(test_name), std::wstring(), timeout_ms, exit_code);
}

}  // namespace test
