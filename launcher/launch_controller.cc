// The launcher's run: instance guard, client probe, client start or forwarding.
#include "launcher/launch_controller.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "IPC_Broker.h"
#include "base/utf_string_conversions.h"
#include "launcher/client_request.h"
#include "launcher/instance_names.h"
#include "launcher/launch_options.h"
#include "launcher/option_keys.h"
#include "launcher/path_util.h"

namespace {

const wchar_t kVersionIniName[] = L"Version.ini";
const wchar_t kVersionSection[] = L"Veskgame";
const wchar_t kVersionKey[] = L"NewVersion";
const wchar_t kClientExeName[] = L"VeskGame.exe";
const wchar_t kMissingIniText[] = L"Can not find version.ini!!";

// The version value is read into 128 units: at most 127 characters.
const DWORD kVersionUnits = 128;

// The platform's limit for a command line counts its terminating NUL; the line is copied
// into a buffer of 32 768 units.
const size_t kMaxCommandLineUnits = 32767;
const size_t kArgumentBufferUnits = 0x8000;

// "launcher/启动" "Vesk游戏大厅", then "成功", or "失败/" and the error code.
const wchar_t kTraceHead[] = L"launcher/\u542F\u52A8" L"Vesk\u6E38\u620F\u5927\u5385";
const wchar_t kTraceSucceeded[] = L"\u6210\u529F";
const wchar_t kTraceFailed[] = L"\u5931\u8D25/";

}  // namespace

void WriteDebuggerTrace(const std::wstring& text) {
  OutputDebugStringW(text.c_str());
}

void AllowAnyProcessToTakeForeground() {
  // The broker does not name the server's process for sure (its communication id is its
  // process id + 10000 only for a process's first service), so the grant goes to any
  // process. It lapses at the user's next input.
  AllowSetForegroundWindow(ASFW_ANY);
}

LaunchController::LaunchController()
    : LaunchController(GetLaunchOptions(), WriteDebuggerTrace) {}

LaunchController::LaunchController(const LaunchOptions& launchOptions, TraceWriter traceWriter,
                                   ForegroundGrant foregroundGrant)
    : options(launchOptions),
      writeTrace(std::move(traceWriter)),
      grantForeground(std::move(foregroundGrant)) {}

void LaunchController::Run() {
  if (!IsLauncherRunning()) {
    const std::wstring userId = options.GetValue(kUserIdKey);
    if (IsClientRunning(userId))
      ForwardToClient(userId);
    else
      LaunchClient();
  }
  ReleaseLauncherMutex();
}

bool LaunchController::IsLauncherRunning() {
  const std::wstring name = LauncherMutexName(options.GetValue(kOemIdKey));
  HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
  const DWORD error = GetLastError();
  launcherMutex.Set(mutex);
  if (launcherMutex.IsValid() && error == ERROR_ALREADY_EXISTS) {
    launcherMutex.Close();
    return true;
  }
  // A mutex that could not be created leaves the run unguarded.
  return false;
}

bool LaunchController::IsClientRunning(const std::wstring& userId) {
  const std::wstring name = ClientMutexName(options.GetValue(kOemIdKey), userId);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  // The probe never keeps the mutex: with no client, it exists only for this instant.
  base::win::ScopedHandle probe(mutex);
  return probe.IsValid() && error == ERROR_ALREADY_EXISTS;
}

void LaunchController::LaunchClient() {
  std::wstring path;
  FindClientExecutable(path);
  // A start is attempted even without a version: the fallback takes the bare name.
  StartClientProcess(path);
}

bool LaunchController::FindClientExecutable(std::wstring& path) {
  path.clear();
  std::wstring root = ExecutableFolder();
  std::wstring ini = JoinPath(root, kVersionIniName);
  if (!FileExists(ini)) {
    root = RemoveFileSpec(root);
    ini = JoinPath(root, kVersionIniName);
  }
  if (!FileExists(ini)) {
    MessageBoxW(nullptr, kMissingIniText, L"", MB_ICONINFORMATION);
    return false;
  }

  wchar_t version[kVersionUnits] = {};
  if (GetPrivateProfileStringW(kVersionSection, kVersionKey, L"", version, kVersionUnits,
                               ini.c_str()) == 0) {
    return false;
  }
  const std::wstring client = JoinPath(JoinPath(root, version), kClientExeName);
  if (!FileExists(client))
    return false;
  path = client;
  return true;
}

void LaunchController::StartClientProcess(const std::wstring& path) {
  const std::wstring arguments = options.BuildClientArguments();
  // A line over the limit is refused here rather than cut: a client started with part of
  // its options would be worse than none.
  if (arguments.size() + 1 > kMaxCommandLineUnits) {
    TraceStartFailure(ERROR_FILENAME_EXCED_RANGE);
    return;
  }
  std::vector<wchar_t> commandLine(kArgumentBufferUnits, L'\0');
  arguments.copy(commandLine.data(), arguments.size());

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};

  // The fallback's bare name is resolved by the platform against the launcher's current
  // directory, while the client works in the launcher's folder.
  const bool found = FileExists(path);
  const std::wstring application = found ? path : std::wstring(kClientExeName);
  const std::wstring workingFolder = found ? RemoveFileSpec(path) : ExecutableFolder();

  const BOOL started = CreateProcessW(
      application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
      workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &created);
  const DWORD error = GetLastError();
  if (!started) {
    TraceStartFailure(error);
    return;
  }
  base::win::ScopedHandle process(created.hProcess);
  base::win::ScopedHandle thread(created.hThread);
  writeTrace(std::wstring(kTraceHead) + kTraceSucceeded);
}

void LaunchController::ForwardToClient(const std::wstring& userId) {
  const std::string channel =
      base::WideToUTF8(ClientChannelName(options.GetValue(kOemIdKey), userId));
  // A null handle (nobody serves the channel) is refused by both calls below: the
  // request is lost, as it is when the client ends before reading it.
  void* host = IPC_Connect(IPC_MODE_CLIENT, channel.c_str());
  std::string request = ClientRequest();
  if (!request.empty()) {
    // Only the foreground process may hand the foreground on. The launcher, just started by
    // the user, is that process; the running client, asked to show itself, is not.
    if (host)
      grantForeground();
    // The size counts the string's terminating NUL, which the client reads up to.
    IPC_Send(host, IPC_TARGET_SERVER, &request[0], static_cast<unsigned>(request.size() + 1));
  }
  IPC_ShutDown(host);
}

void LaunchController::ReleaseLauncherMutex() {
  launcherMutex.Close();
}

std::string LaunchController::ClientRequest() const {
  if (options.HasValue(kMessageKey))
    return base::WideToUTF8(options.GetValue(kMessageKey));
  return BuildLaunchRequest(base::WideToUTF8(options.BuildClientArguments()));
}

void LaunchController::TraceStartFailure(unsigned long error) {
  writeTrace(std::wstring(kTraceHead) + kTraceFailed + std::to_wstring(error));
}
