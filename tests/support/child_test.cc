// Starts the current test program again on one of its tests.
#include "support/child_test.h"

#include <windows.h>

#include <vector>

#include "base/win/scoped_handle.h"

namespace test {

namespace {

std::wstring CurrentProgramPath() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size())
      return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

}  // namespace

std::wstring ChildTestCommandLine(const std::string& test_name) {
  return L"\"" + CurrentProgramPath() + L"\" --gtest_also_run_disabled_tests --gtest_filter=" +
         std::wstring(test_name.begin(), test_name.end());
}

bool RunChildTest(const std::string& test_name, unsigned long timeout_ms,
                  unsigned long* exit_code) {
  std::wstring command_line = ChildTestCommandLine(test_name);
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (!::CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup_info, &process_info))
    return false;
  base::win::ScopedHandle process(process_info.hProcess);
  base::win::ScopedHandle thread(process_info.hThread);
  if (::WaitForSingleObject(process.Get(), timeout_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1);
    return false;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.Get(), &code);
  *exit_code = code;
  return true;
}

}  // namespace test
