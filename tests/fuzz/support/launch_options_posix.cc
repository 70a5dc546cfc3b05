// The native build's stand-ins for the option store's two platform calls: the command line
// is split by the platform's rules written out as plain code, and the marker is compared
// ignoring the case of ASCII letters, which is all "-scmd" holds.
#include "launcher/launch_options.h"

#include "launcher/option_keys.h"
#include "fuzz/support/windows_command_line.h"

void LaunchOptions::Parse(const std::wstring& commandLine) {
  ParseArguments(test::SplitWindowsCommandLine(commandLine));
}

bool LaunchOptions::IsMarker(const std::wstring& argument) {
  const std::wstring marker = kMarkerKey;
  if (argument.size() != marker.size())
    return false;
  for (size_t i = 0; i < marker.size(); ++i) {
    const wchar_t c = argument[i];
    const wchar_t lowered = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    if (lowered != marker[i])
      return false;
  }
  return true;
}
