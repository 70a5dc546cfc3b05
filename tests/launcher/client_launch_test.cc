// The client start end to end: the real Launcher.exe under the debugger, installs laid out
// in temporary trees, and the demo client recording what it was started with.
#include <windows.h>

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/launcher/client_watch.h"
#include "support/launcher/default_oem_id_lock.h"
#include "support/launcher/launcher_run.h"
#include "support/process_dialog.h"
#include "support/temp_tree.h"
#include "support/unique_name.h"

namespace {

class ClientLaunchTest : public testing::Test {
 protected:
  ClientLaunchTest() : oemId_(test::UniqueNumericId()) {}

  // The pairs every run of this test passes: its own OEM id, and a client that ends by
  // itself should the test fail to stop it.
  std::wstring OwnPairs() const { return L"-oemid " + oemId_ + L" -quitafter 30000"; }
  std::wstring Arguments() const { return L"-scmd 123 web 0 " + OwnPairs(); }
  std::wstring ExpectedLine() const {
    return L" \"-scmd\" \"123\" \"web\" \"0\" \"-uid\" \"\" \"-oemid\" \"" + oemId_ +
           L"\" \"-quitafter\" \"30000\"";
  }

  // Runs the launcher of folder |launcher| from the current directory |current|.
  test::DebuggedRun Run(const std::wstring& launcher, const std::wstring& current,
                        const std::wstring& arguments) {
    return test::RunLauncher(test::LauncherCommandLine(tree_, launcher, arguments),
                             tree_.Path(current));
  }

  // Lays out a launcher in "app" that finds no client of its own, started from "cwd",
  // which holds a client for the bare-name fallback.
  void LayFallback() {
    tree_.CopyProgram(L"Launcher.exe", L"app");
    tree_.CopyProgram(L"VeskGame.exe", L"cwd");
  }

  const std::wstring oemId_;
  test::TempTree tree_;
};

TEST_F(ClientLaunchTest, ClientReceivesExactlyTheArgumentLineInItsVersionFolder) {
  test::LayInstall(tree_, L"", "2.0.1");
  tree_.MakeFolder(L"elsewhere");
  test::ClientWatch client(oemId_, L"42", tree_.Path(L"2.0.1"));

  const test::DebuggedRun run = Run(
      L"", L"elsewhere",
      L"-scmd 123 %E4%B8%AD 0 -uid 42 -cookie a:1&b:2 -msg \"say \\\"hi\\\"\" " + OwnPairs());

  EXPECT_TRUE(test::EndedWithTraces(run, {test::LaunchSucceededTrace()}));
  ASSERT_TRUE(client.WaitForStarts(1, test::kClientStartTimeoutMs));
  const ClientStart start = client.Starts().front();
  EXPECT_EQ(L" \"-scmd\" \"123\" \"\u4E2D\" \"0\" \"-uid\" \"42\" \"-cookie\" \"a=1;b=2\""
            L" \"-msg\" \"say \\\"hi\\\"\" \"-oemid\" \"" + oemId_ +
                L"\" \"-quitafter\" \"30000\"",
            start.commandLine);
  EXPECT_EQ(tree_.Path(L"2.0.1"), start.workingDirectory);
  EXPECT_TRUE(start.heldMutex);
}

TEST_F(ClientLaunchTest, VersionIniOnlyInTheParentFolderIsUsed) {
  tree_.CopyProgram(L"Launcher.exe", L"bin");
  test::WriteVersionIni(tree_, L"", "NewVersion=3.1\r\n");
  tree_.CopyProgram(L"VeskGame.exe", L"3.1");
  test::ClientWatch client(oemId_, L"", tree_.Path(L"3.1"));

  EXPECT_TRUE(test::EndedWithTraces(Run(L"bin", L"bin", Arguments()),
                                    {test::LaunchSucceededTrace()}));
  ASSERT_TRUE(client.WaitForStarts(1, test::kClientStartTimeoutMs));
  EXPECT_EQ(ExpectedLine(), client.Starts().front().commandLine);
  EXPECT_EQ(tree_.Path(L"3.1"), client.Starts().front().workingDirectory);
}

TEST_F(ClientLaunchTest, LongVersionValueIsReadAsItsFirst127Characters) {
  const std::string kept(127, 'v');
  tree_.CopyProgram(L"Launcher.exe", L"");
  test::WriteVersionIni(tree_, L"", "NewVersion=" + kept + "xyz\r\n");
  const std::wstring folder(kept.begin(), kept.end());
  tree_.CopyProgram(L"VeskGame.exe", folder);
  test::ClientWatch client(oemId_, L"", tree_.Path(folder));

  EXPECT_TRUE(test::EndedWithTraces(Run(L"", L"", Arguments()), {test::LaunchSucceededTrace()}));
  ASSERT_TRUE(client.WaitForStarts(1, test::kClientStartTimeoutMs));
  EXPECT_EQ(tree_.Path(folder), client.Starts().front().workingDirectory);
}

TEST_F(ClientLaunchTest, MissingVersionOrClientFallsBackSilentlyToTheCurrentDirectory) {
  LayFallback();
  // A client in the launcher's own folder is not the fallback's: the bare name is
  // resolved against the current directory.
  tree_.CopyProgram(L"VeskGame.exe", L"app");
  test::ClientWatch fallback(oemId_, L"", tree_.Path(L"cwd"));
  test::ClientWatch beside(oemId_, L"", tree_.Path(L"app"));

  const std::string kIniBodies[] = {"", "NewVersion=\r\n", "NewVersion=9.9\r\n"};
  size_t starts = 0;
  for (const std::string& body : kIniBodies) {
    SCOPED_TRACE(body);
    test::WriteVersionIni(tree_, L"app", body);
    // A message box would hold the run past its deadline.
    EXPECT_TRUE(test::EndedWithTraces(Run(L"app", L"cwd", Arguments()),
                                      {test::LaunchSucceededTrace()}));
    ASSERT_TRUE(fallback.WaitForStarts(++starts, test::kClientStartTimeoutMs));
    const ClientStart start = fallback.Starts().back();
    EXPECT_EQ(ExpectedLine(), start.commandLine);
    EXPECT_EQ(tree_.Path(L"app"), start.workingDirectory);
    fallback.Stop();
  }
  EXPECT_EQ(3u, fallback.Starts().size());
  EXPECT_TRUE(beside.Starts().empty());
}

TEST_F(ClientLaunchTest, FailedStartTracesTheErrorCodeAndExitsZero) {
  tree_.CopyProgram(L"Launcher.exe", L"app");
  test::WriteVersionIni(tree_, L"app", "NewVersion=9.9\r\n");
  tree_.MakeFolder(L"empty");
  EXPECT_TRUE(test::EndedWithTraces(Run(L"app", L"empty", Arguments()),
                                    {test::LaunchFailedTrace(ERROR_FILE_NOT_FOUND)}));
}

TEST_F(ClientLaunchTest, TooLongArgumentLineFailsWith206AndStartsNothing) {
  test::LayInstall(tree_, L"", "1.0");
  test::ClientWatch client(oemId_, L"", tree_.Path(L"1.0"));
  // Short pairs grow by half in the quoted argument line: the launcher's own command line
  // (about 27 000 characters) stays under the limit while the client's (about 38 000)
  // goes over it.
  std::wstring pairs;
  for (int i = 0; i < 3000; ++i)
    pairs += L" -k" + std::to_wstring(i) + L" v";

  EXPECT_TRUE(test::EndedWithTraces(Run(L"", L"", Arguments() + pairs),
                                    {test::LaunchFailedTrace(ERROR_FILENAME_EXCED_RANGE)}));
  EXPECT_TRUE(client.Starts().empty());
}

TEST_F(ClientLaunchTest, MissingVersionIniShowsTheMessageBoxThenStartsTheFallback) {
  LayFallback();
  test::ClientWatch fallback(oemId_, L"", tree_.Path(L"cwd"));
  test::ChildProcess launcher;
  ASSERT_TRUE(launcher.StartCommandLine(test::LauncherCommandLine(tree_, L"app", Arguments()),
                                       tree_.Path(L"cwd")));

  test::ProcessDialog box;
  ASSERT_TRUE(box.WaitFor(launcher.pid(), test::kDialogTimeoutMs)) << "no message box";
  EXPECT_EQ(L"", box.Caption());
  EXPECT_THAT(box.StaticTexts(), testing::Contains(L"Can not find version.ini!!"));
  // The start waits for the user.
  EXPECT_TRUE(fallback.Starts().empty());
  box.PressOk();

  unsigned long exitCode = 1;
  ASSERT_TRUE(launcher.WaitForExit(test::kLauncherRunTimeoutMs, &exitCode));
  EXPECT_EQ(0u, exitCode);
  ASSERT_TRUE(fallback.WaitForStarts(1, test::kClientStartTimeoutMs));
  EXPECT_EQ(ExpectedLine(), fallback.Starts().front().commandLine);
  EXPECT_EQ(tree_.Path(L"app"), fallback.Starts().front().workingDirectory);
}

TEST_F(ClientLaunchTest, CommandLineWithOnlyTheProgramPathUsesTheDefaults) {
  test::DefaultOemIdLock defaultOemId;
  ASSERT_TRUE(defaultOemId.IsHeld());
  test::LayInstall(tree_, L"", "1.0");
  test::ClientWatch client(L"1101", L"", tree_.Path(L"1.0"));

  EXPECT_TRUE(test::EndedWithTraces(Run(L"", L"", L""), {test::LaunchSucceededTrace()}));
  ASSERT_TRUE(client.WaitForStarts(1, test::kClientStartTimeoutMs));
  EXPECT_EQ(L" \"-scmd\" \"default\" \"\" \"\" \"-uid\" \"\" \"-oemid\" \"1101\"",
            client.Starts().front().commandLine);
}

}  // namespace
