// The launch controller in-process: the instance guard with real named mutexes, and the
// client start with its traces caught as exact UTF-16 text.
#include "launcher/launch_controller.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "IPC_Broker.h"
#include "base/win/scoped_handle.h"
#include "launcher/launch_options.h"
#include "base/utf_string_conversions.h"
#include "launcher/instance_names.h"
#include "support/ipc/host_peer_process.h"
#include "support/launcher/client_double.h"
#include "support/launcher/client_watch.h"
#include "support/background_thread.h"
#include "support/deadline.h"
#include "support/launcher/launcher_run.h"
#include "support/temp_tree.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace {

using testing::ElementsAre;

using test::ClientDouble;
using test::kClientStartTimeoutMs;
using test::LaunchFailedTrace;
using test::LaunchSucceededTrace;

bool MutexExists(const std::wstring& name) {
  base::win::ScopedHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  return mutex.IsValid();
}

// What another thread sees when it tries to take |name| at once.
DWORD TryTakeFromAnotherThread(const std::wstring& name) {
  DWORD result = WAIT_FAILED;
  EXPECT_TRUE(test::RunOnNewThread([&] {
    base::win::ScopedHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
    result = WaitForSingleObject(mutex.Get(), 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
      ReleaseMutex(mutex.Get());
  }));
  return result;
}

class LaunchControllerTest : public testing::Test {
 protected:
  LaunchControllerTest() : oemId_(test::UniqueNumericId()) {}

  // Options for this test's OEM id, followed by |pairs|.
  LaunchOptions Options(const std::wstring& pairs = std::wstring()) const {
    LaunchOptions options;
    options.Parse(L"Launcher.exe -scmd g web 0 -oemid " + oemId_ + L" -quitafter 30000 " + pairs);
    return options;
  }

  LaunchController Controller(const LaunchOptions& options) {
    return LaunchController(options, [this](const std::wstring& text) { traces_.push_back(text); });
  }

  // Options whose argument line is |length| characters long, padded by one passed-on value.
  LaunchOptions OptionsWithLineLength(size_t length) const {
    const size_t shortest = Options(L"-pad x").BuildClientArguments().size();
    return Options(L"-pad " + std::wstring(length - shortest + 1, L'x'));
  }

  std::wstring LauncherMutexName() const { return L"Global\\zaverezodovodav-" + oemId_; }

  const std::wstring oemId_;
  std::vector<std::wstring> traces_;
};

TEST_F(LaunchControllerTest, FirstLauncherCreatesAndOwnsTheLauncherMutex) {
  const LaunchOptions options = Options();
  LaunchController controller = Controller(options);
  EXPECT_FALSE(controller.IsLauncherRunning());
  EXPECT_TRUE(MutexExists(LauncherMutexName()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), TryTakeFromAnotherThread(LauncherMutexName()));
  controller.ReleaseLauncherMutex();
  EXPECT_FALSE(MutexExists(LauncherMutexName()));
}

TEST_F(LaunchControllerTest, SecondLauncherForSameOemIdSeesTheFirstAndKeepsNoHandle) {
  const LaunchOptions options = Options();
  LaunchController first = Controller(options);
  LaunchController second = Controller(options);
  ASSERT_FALSE(first.IsLauncherRunning());
  EXPECT_TRUE(second.IsLauncherRunning());
  first.ReleaseLauncherMutex();
  // Only the first held a handle: with it closed, the mutex is gone.
  EXPECT_FALSE(MutexExists(LauncherMutexName()));
  EXPECT_FALSE(second.IsLauncherRunning());
}

TEST_F(LaunchControllerTest, LaunchersForDifferentOemIdsDoNotBlockEachOther) {
  const LaunchOptions mine = Options();
  LaunchOptions other;
  other.Parse(L"Launcher.exe -scmd g web 0 -oemid " + test::UniqueNumericId());
  LaunchController first = Controller(mine);
  LaunchController second = Controller(other);
  EXPECT_FALSE(first.IsLauncherRunning());
  EXPECT_FALSE(second.IsLauncherRunning());
}

TEST_F(LaunchControllerTest, ReleaseClosesTheMutexWithoutReleasingOwnership) {
  base::win::ScopedHandle ownerDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle released(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle observer;
  const LaunchOptions options = Options();
  test::BackgroundThread owner([&] {
    LaunchController controller = Controller(options);
    controller.IsLauncherRunning();
    observer.Set(OpenMutexW(SYNCHRONIZE, FALSE, LauncherMutexName().c_str()));
    controller.ReleaseLauncherMutex();
    SetEvent(released.Get());
    test::WaitWithDeadline(ownerDone);
  });
  ASSERT_TRUE(test::WaitWithDeadline(released));
  ASSERT_TRUE(observer.IsValid());
  // Closed but not released: still owned while the owner's thread lives...
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(observer.Get(), 0));
  SetEvent(ownerDone.Get());
  ASSERT_TRUE(owner.Join());
  // ...and abandoned when it ends.
  EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(observer.Get(), 0));
  ReleaseMutex(observer.Get());
}

TEST_F(LaunchControllerTest, LauncherMutexThatCannotBeCreatedLeavesTheRunUnguarded) {
  // An event of the same name makes CreateMutexW fail.
  base::win::ScopedHandle squatter(CreateEventW(nullptr, TRUE, FALSE, LauncherMutexName().c_str()));
  ASSERT_TRUE(squatter.IsValid());
  const LaunchOptions options = Options();
  LaunchController controller = Controller(options);
  EXPECT_FALSE(controller.IsLauncherRunning());
}

TEST_F(LaunchControllerTest, HeldClientMutexWithUserIdIsFoundOnlyForThatUser) {
  base::win::ScopedHandle client(
      CreateMutexW(nullptr, TRUE, (L"Global\\Veskgame-" + oemId_ + L"-42").c_str()));
  const LaunchOptions options = Options();
  LaunchController controller = Controller(options);
  EXPECT_TRUE(controller.IsClientRunning(L"42"));
  EXPECT_FALSE(controller.IsClientRunning(L"43"));
  EXPECT_FALSE(controller.IsClientRunning(L""));
  // A probe that found nothing leaves nothing behind.
  EXPECT_FALSE(MutexExists(L"Global\\Veskgame-" + oemId_));
}

TEST_F(LaunchControllerTest, HeldClientMutexWithoutUserIdIsFoundForAnEmptyUserId) {
  base::win::ScopedHandle client(
      CreateMutexW(nullptr, TRUE, (L"Global\\Veskgame-" + oemId_).c_str()));
  const LaunchOptions options = Options();
  LaunchController controller = Controller(options);
  EXPECT_TRUE(controller.IsClientRunning(L""));
  EXPECT_FALSE(controller.IsClientRunning(L"42"));
}

TEST_F(LaunchControllerTest, ClientNameTakenByAnotherKindOfObjectCountsAsNoClient) {
  base::win::ScopedHandle squatter(
      CreateEventW(nullptr, TRUE, FALSE, (L"Global\\Veskgame-" + oemId_).c_str()));
  const LaunchOptions options = Options();
  EXPECT_FALSE(Controller(options).IsClientRunning(L""));
}

TEST_F(LaunchControllerTest, StartedClientGetsTheArgumentLineAndTheSuccessTrace) {
  test::TempTree tree;
  tree.CopyProgram(L"VeskGame.exe", L"1.0");
  const LaunchOptions options = Options(L"-cookie k:v");
  test::ClientWatch client(oemId_, L"", tree.Path(L"1.0"));

  Controller(options).StartClientProcess(tree.Path(L"1.0\\VeskGame.exe"));

  EXPECT_THAT(traces_, ElementsAre(LaunchSucceededTrace()));
  ASSERT_TRUE(client.WaitForStarts(1, kClientStartTimeoutMs));
  const ClientStart start = client.Starts().front();
  EXPECT_EQ(options.BuildClientArguments(), start.commandLine);
  EXPECT_EQ(tree.Path(L"1.0"), start.workingDirectory);
  EXPECT_TRUE(start.heldMutex);
}

TEST_F(LaunchControllerTest, FailedFallbackStartTracesTheErrorCode) {
  test::TempTree tree;
  tree.MakeFolder(L"empty");
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  // The fallback's bare name is looked for in the current directory.
  ASSERT_TRUE(SetCurrentDirectoryW(tree.Path(L"empty").c_str()));
  const LaunchOptions options = Options();
  LaunchController controller = Controller(options);
  controller.StartClientProcess(L"");
  controller.StartClientProcess(tree.Path(L"missing\\VeskGame.exe"));
  SetCurrentDirectoryW(previous);
  const std::wstring notFound = LaunchFailedTrace(ERROR_FILE_NOT_FOUND);
  EXPECT_THAT(traces_, ElementsAre(notFound, notFound));
}

TEST_F(LaunchControllerTest, ArgumentLineOverThePlatformLimitNeverStartsAClient) {
  test::TempTree tree;
  tree.CopyProgram(L"VeskGame.exe", L"1.0");
  test::ClientWatch client(oemId_, L"", tree.Path(L"1.0"));
  // The limit of 32 767 units counts the terminating NUL.
  for (size_t length : {32767u, 32768u, 40000u}) {
    const LaunchOptions options = OptionsWithLineLength(length);
    ASSERT_EQ(length, options.BuildClientArguments().size());
    Controller(options).StartClientProcess(tree.Path(L"1.0\\VeskGame.exe"));
  }
  const std::wstring tooLong = LaunchFailedTrace(ERROR_FILENAME_EXCED_RANGE);
  EXPECT_THAT(traces_, ElementsAre(tooLong, tooLong, tooLong));
  EXPECT_FALSE(client.WaitForStarts(1, 2000));
}

TEST_F(LaunchControllerTest, ArgumentLineAtThePlatformLimitIsPassedWhole) {
  test::TempTree tree;
  tree.CopyProgram(L"VeskGame.exe", L"1.0");
  test::ClientWatch client(oemId_, L"", tree.Path(L"1.0"));
  const LaunchOptions options = OptionsWithLineLength(32766);

  Controller(options).StartClientProcess(tree.Path(L"1.0\\VeskGame.exe"));

  ASSERT_THAT(traces_, ElementsAre(LaunchSucceededTrace()));
  ASSERT_TRUE(client.WaitForStarts(1, kClientStartTimeoutMs));
  const std::wstring received = client.Starts().front().commandLine;
  // Compared without printing: a failure would dump the whole line.
  EXPECT_EQ(32766u, received.size());
  EXPECT_TRUE(received == options.BuildClientArguments());
}

TEST_F(LaunchControllerTest, ClientMayTakeTheForegroundFromJustBeforeTheRequestIsSent) {
  // The running client is another process: a name served in this one is not reached.
  test::HostPeer client;
  ASSERT_TRUE(client.Start());
  int serverId = 0;
  ASSERT_TRUE(client.Connect(IPC_MODE_SERVER,
                             base::WideToUTF8(ClientChannelName(oemId_, L"")), &serverId));
  // The grant sends a marker through the launcher's host instead: the client receives
  // the two in the order they were made.
  std::string marker = "granted";
  const LaunchOptions options = Options(L"-msg hello");
  LaunchController controller(options, WriteDebuggerTrace, [&marker] {
    IPC_Send(IPC_TARGET_SERVER, &marker[0], static_cast<unsigned>(marker.size()));
  });
  controller.ForwardToClient(L"");
  const std::string granted = client.Take("message");
  const std::string request = client.Take("message");
  EXPECT_THAT(granted, testing::EndsWith(" 7 granted"));
  // The request counts its terminating NUL, so it is reported as not printable.
  EXPECT_THAT(request, testing::EndsWith(" 6 other"));
}

}  // namespace
