// Running the real Launcher.exe from a test: laying out an install in a temporary tree,
// running the launcher under the debugger and checking its exit code and traces.
#ifndef SUPPORT_LAUNCHER_LAUNCHER_RUN_H_
#define SUPPORT_LAUNCHER_LAUNCHER_RUN_H_

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/debugger_loop.h"
#include "support/temp_tree.h"

namespace test {

// Deadline of one launcher run, with room for a slow first start of the platform.
constexpr unsigned long kLauncherRunTimeoutMs = 120000;
// Deadline for a started client to record its start.
constexpr unsigned long kClientStartTimeoutMs = 20000;
// Deadline for a launcher's message box to come up.
constexpr unsigned long kDialogTimeoutMs = 20000;

// The launcher's outcome traces, as UTF-16 text.
std::wstring LaunchSucceededTrace();
std::wstring LaunchFailedTrace(unsigned long error);

// Launcher.exe in the folder |launcherFolder| of |tree|, with |arguments|.
std::wstring LauncherCommandLine(const TempTree& tree, const std::wstring& launcherFolder,
                                 const std::wstring& arguments);

// Writes |folder|\Version.ini: the section header "[Veskgame]", then |body|.
void WriteVersionIni(TempTree& tree, const std::wstring& folder, const std::string& body);

// A complete install in |folder|: Launcher.exe, Version.ini naming |version|, and the
// client in |folder|\|version|.
void LayInstall(TempTree& tree, const std::wstring& folder, const std::string& version);

// Runs |commandLine| under the debugger; not ending before the deadline fails the test.
DebuggedRun RunLauncher(const std::wstring& commandLine, const std::wstring& workingFolder);

// Success when |run| ended with exit code 0 and wrote exactly |traces|, each as a
// debugger receives it. Log lines of the runtime and the channel layer are not traces.
testing::AssertionResult EndedWithTraces(const DebuggedRun& run,
                                         const std::vector<std::wstring>& traces);

}  // namespace test

#endif  // SUPPORT_LAUNCHER_LAUNCHER_RUN_H_
