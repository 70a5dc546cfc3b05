// The option store's use of the platform: its command-line splitting and case-insensitive
// comparison.
#include "launcher/launch_options.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <memory>

#include "launcher/option_keys.h"

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* argv) const { LocalFree(argv); }
};

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(CommandLineToArgvW(commandLine.c_str(), &count));
  if (!argv)
    return std::vector<std::wstring>();
  return std::vector<std::wstring>(argv.get(), argv.get() + count);
}

}  // namespace

void LaunchOptions::Parse(const std::wstring& commandLine) {
  ParseArguments(SplitCommandLine(commandLine));
}

bool LaunchOptions::IsMarker(const std::wstring& argument) {
  return StrCmpIW(argument.c_str(), kMarkerKey) == 0;
}
