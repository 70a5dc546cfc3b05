// The instance guard end to end: real launchers and clients meeting over their named
// mutexes. A launch always writes a trace, so a run that writes none took another path.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/win/scoped_handle.h"
#include "support/child_process.h"
#include "support/launcher/client_watch.h"
#include "support/launcher/launcher_run.h"
#include "support/process_dialog.h"
#include "support/temp_tree.h"
#include "support/unique_name.h"

namespace {

class InstanceGuardTest : public testing::Test {
 protected:
  InstanceGuardTest() : oemId_(test::UniqueNumericId()) {
    test::LayInstall(tree_, L"", "1.0");
  }

  std::wstring Arguments(const std::wstring& oemId, const std::wstring& more = L"") const {
    return L"-scmd 123 web 0 -oemid " + oemId + L" -quitafter 30000 " + more;
  }

  test::DebuggedRun Run(const std::wstring& arguments) {
    return test::RunLauncher(test::LauncherCommandLine(tree_, L"", arguments), tree_.Root());
  }

  base::win::ScopedHandle HoldClientMutex(const std::wstring& name) {
    base::win::ScopedHandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    EXPECT_TRUE(mutex.IsValid());
    return mutex;
  }

  // A first launcher for |oemId| that holds its launcher mutex while its message box is
  // up: it runs from a tree with no "Version.ini", and its fallback start finds nothing.
  class BlockedLauncher {
   public:
    explicit BlockedLauncher(const std::wstring& arguments) {
      noIni_.CopyProgram(L"Launcher.exe", L"app");
      noIni_.MakeFolder(L"empty");
      process_.StartCommandLine(test::LauncherCommandLine(noIni_, L"app", arguments),
                                noIni_.Path(L"empty"));
    }

    bool WaitForBox() { return box_.WaitFor(process_.pid(), test::kDialogTimeoutMs); }

    // Closes the box and sees the launcher end with exit code 0.
    void Finish() {
      box_.PressOk();
      unsigned long exitCode = 1;
      EXPECT_TRUE(process_.WaitForExit(test::kLauncherRunTimeoutMs, &exitCode));
      EXPECT_EQ(0u, exitCode);
    }

   private:
    test::TempTree noIni_;
    test::ChildProcess process_;
    test::ProcessDialog box_;
  };

  const std::wstring oemId_;
  test::TempTree tree_;
};

TEST_F(InstanceGuardTest, SecondLauncherForTheSameOemIdDoesNothingAndExitsZero) {
  BlockedLauncher first(Arguments(oemId_));
  ASSERT_TRUE(first.WaitForBox());
  test::ClientWatch client(oemId_, L"", tree_.Path(L"1.0"));

  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_)), {}));
  EXPECT_TRUE(client.Starts().empty());
  first.Finish();
}

TEST_F(InstanceGuardTest, LaunchersForDifferentOemIdsDoNotBlockEachOther) {
  BlockedLauncher first(Arguments(oemId_));
  ASSERT_TRUE(first.WaitForBox());
  const std::wstring otherOemId = test::UniqueNumericId();
  test::ClientWatch client(otherOemId, L"", tree_.Path(L"1.0"));

  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(otherOemId)), {test::LaunchSucceededTrace()}));
  EXPECT_TRUE(client.WaitForStarts(1, test::kClientStartTimeoutMs));
  first.Finish();
}

TEST_F(InstanceGuardTest, HeldClientMutexWithUserIdStopsTheStartOnlyForThatUser) {
  base::win::ScopedHandle held = HoldClientMutex(L"Global\\Veskgame-" + oemId_ + L"-42");
  test::ClientWatch forUser(oemId_, L"42", tree_.Path(L"1.0"));

  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_, L"-uid 42")), {}));
  EXPECT_TRUE(forUser.Starts().empty());

  // Without the user id the probe asks for Global\Veskgame-<oemId>, which nobody holds.
  test::ClientWatch withoutUser(oemId_, L"", tree_.Path(L"1.0"));
  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_)), {test::LaunchSucceededTrace()}));
  ASSERT_TRUE(withoutUser.WaitForStarts(1, test::kClientStartTimeoutMs));
  EXPECT_TRUE(withoutUser.Starts().front().heldMutex);
}

TEST_F(InstanceGuardTest, HeldClientMutexWithoutUserIdStopsTheStartForAnAbsentOrEmptyUserId) {
  base::win::ScopedHandle held = HoldClientMutex(L"Global\\Veskgame-" + oemId_);
  test::ClientWatch client(oemId_, L"", tree_.Path(L"1.0"));

  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_)), {}));
  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_, L"-uid \"\"")), {}));
  EXPECT_TRUE(client.Starts().empty());

  test::ClientWatch forUser(oemId_, L"42", tree_.Path(L"1.0"));
  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_, L"-uid 42")),
                                    {test::LaunchSucceededTrace()}));
  EXPECT_TRUE(forUser.WaitForStarts(1, test::kClientStartTimeoutMs));
}

TEST_F(InstanceGuardTest, RunningClientIsFoundAndNoSecondClientStarts) {
  test::ClientWatch client(oemId_, L"42", tree_.Path(L"1.0"));
  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_, L"-uid 42")),
                                    {test::LaunchSucceededTrace()}));
  ASSERT_TRUE(client.WaitForStarts(1, test::kClientStartTimeoutMs));

  EXPECT_TRUE(test::EndedWithTraces(Run(Arguments(oemId_, L"-uid 42 -msg again")), {}));
  EXPECT_EQ(1u, client.Starts().size());
}

}  // namespace
