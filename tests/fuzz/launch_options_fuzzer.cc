// The launcher's option parsing over hostile command lines, and the client argument line it
// builds. After parsing, the game id and OEM id are set as the launcher relies on, and the
// cookie holds neither separator it rewrites; the argument line splits, by the platform's
// rules, back into exactly the tokens it was built from.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/windows_command_line.h"
#include "launcher/launch_options.h"

namespace {

// UTF-16 units from the input, NUL (which no command line holds) split into arguments.
std::vector<std::wstring> ReadArguments(FuzzedDataProvider& provider) {
  std::vector<std::wstring> arguments(1, L"Launcher.exe");
  std::wstring current;
  while (provider.remaining_bytes() >= 2) {
    const wchar_t unit = provider.ConsumeIntegral<uint16_t>();
    if (unit == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current += unit;
    }
  }
  arguments.push_back(current);
  return arguments;
}

std::wstring JoinAsRawLine(const std::vector<std::wstring>& arguments) {
  std::wstring line;
  for (const std::wstring& argument : arguments)
    line += argument + L' ';
  return line;
}

// The tokens the argument line is made of, in order, from the store's contents.
std::vector<std::wstring> ExpectedTokens(const LaunchOptions& options) {
  const std::vector<std::wstring>& game_ids = options.GameIds();
  std::vector<std::wstring> tokens = {L"", L"-scmd", game_ids.empty() ? L"default" : game_ids[0],
                                      options.GetValue(L"-from"), options.GetValue(L"-sdkstart")};
  for (size_t i = 1; i < game_ids.size(); ++i) {
    tokens.push_back(L"-gameid");
    tokens.push_back(game_ids[i]);
  }
  tokens.push_back(L"-uid");
  tokens.push_back(options.GetValue(L"-uid"));
  for (const LaunchOptions::ValueMap::value_type& pair : options.Values()) {
    const std::wstring& key = pair.first;
    if (pair.second.empty() || key == L"-gameid" || key == L"-from" || key == L"-sdkstart" ||
        key == L"-uid") {
      continue;
    }
    tokens.push_back(key);
    tokens.push_back(pair.second);
  }
  return tokens;
}

void CheckStore(const LaunchOptions& options) {
  FUZZ_CHECK(options.HasValue(L"-gameid") && options.HasValue(L"-oemid"));
  FUZZ_CHECK(!options.GetValue(L"-oemid").empty());
  FUZZ_CHECK(!options.GetValue(L"-gameid").empty() ||
             (!options.GameIds().empty() && options.GameIds()[0].empty()));
  const std::wstring cookie = options.GetValue(L"-cookie");
  FUZZ_CHECK(cookie.find_first_of(L"&:") == std::wstring::npos);
  FUZZ_CHECK(options.GetValue(L"-from").find(L'\0') == std::wstring::npos);
  for (const LaunchOptions::ValueMap::value_type& pair : options.Values()) {
    for (wchar_t c : pair.first)
      FUZZ_CHECK(c < L'A' || c > L'Z');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool raw_line = provider.ConsumeBool();
  const std::vector<std::wstring> arguments = ReadArguments(provider);

  LaunchOptions options;
  if (raw_line)
    options.Parse(JoinAsRawLine(arguments));
  else
    options.ParseArguments(arguments);
  CheckStore(options);

  const std::wstring line = options.BuildClientArguments();
  FUZZ_CHECK(test::SplitWindowsCommandLine(line) == ExpectedTokens(options));
  return 0;
}
