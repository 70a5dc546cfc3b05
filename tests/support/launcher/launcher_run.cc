// Launcher runs for the end-to-end tests.
#include "support/launcher/launcher_run.h"

namespace test {

std::wstring LaunchSucceededTrace() {
  return L"launcher/启动Vesk游戏大厅成功";
}

std::wstring LaunchFailedTrace(unsigned long error) {
  return L"launcher/启动Vesk游戏大厅失败/" + std::to_wstring(error);
}

std::wstring LauncherCommandLine(const TempTree& tree, const std::wstring& launcherFolder,
                                 const std::wstring& arguments) {
  return L"\"" + tree.Path(launcherFolder) + L"\\Launcher.exe\" " + arguments;
}

void WriteVersionIni(TempTree& tree, const std::wstring& folder, const std::string& body) {
  const std::wstring path = folder.empty() ? L"Version.ini" : folder + L"\\Version.ini";
  tree.WriteFile(path, "[Veskgame]\r\n" + body);
}

void LayInstall(TempTree& tree, const std::wstring& folder, const std::string& version) {
  tree.CopyProgram(L"Launcher.exe", folder);
  WriteVersionIni(tree, folder, "NewVersion=" + version + "\r\n");
  const std::wstring versionFolder(version.begin(), version.end());
  tree.CopyProgram(L"VeskGame.exe", folder.empty() ? versionFolder : folder + L"\\" + versionFolder);
}

DebuggedRun RunLauncher(const std::wstring& commandLine, const std::wstring& workingFolder) {
  DebuggerOptions options;
  options.timeout_ms = kLauncherRunTimeoutMs;
  options.working_folder = workingFolder;
  const DebuggedRun run = RunUnderDebugger(commandLine, options);
  EXPECT_TRUE(run.ended) << "the launcher did not end in time";
  return run;
}

testing::AssertionResult EndedWithTraces(const DebuggedRun& run,
                                         const std::vector<std::wstring>& traces) {
  if (!run.ended)
    return testing::AssertionFailure() << "the launcher did not end";
  if (run.exit_code != 0)
    return testing::AssertionFailure() << "exit code " << run.exit_code;
  // The broker's channel layer logs its failures, "[process/time:SEVERITY:...", to the same
  // output (a launcher that finds no server to forward to, for one).
  std::vector<DebugString> launcherTraces;
  for (const DebugString& received : run.debug_strings) {
    if (received.Narrow().compare(0, 1, "[") != 0)
      launcherTraces.push_back(received);
  }
  if (launcherTraces.size() != traces.size()) {
    return testing::AssertionFailure()
           << launcherTraces.size() << " traces received, " << traces.size() << " expected";
  }
  for (size_t i = 0; i < traces.size(); ++i) {
    if (!launcherTraces[i].Matches(traces[i])) {
      const DebugString& received = launcherTraces[i];
      return testing::AssertionFailure()
             << "trace " << i << " differs; received "
             << (received.unicode ? testing::PrintToString(received.wide)
                                  : testing::PrintToString(received.ansi));
    }
  }
  return testing::AssertionSuccess();
}

}  // namespace test
