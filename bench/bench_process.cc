#include "bench_process.h"

#include <windows.h>

#include <algorithm>

namespace bench {

double NowSeconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

base::win::ScopedHandle StartSelf(const std::string& arguments) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string narrow = " " + arguments;
  std::wstring command_line = L"\"" + std::wstring(path, length) + L"\"" +
                              std::wstring(narrow.begin(), narrow.end());
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup_info, &process_info))
    return base::win::ScopedHandle();
  base::win::ScopedHandle thread(process_info.hThread);
  return base::win::ScopedHandle(process_info.hProcess);
}

}  // namespace bench
