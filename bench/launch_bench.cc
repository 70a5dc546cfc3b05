// Wall time of whole launcher runs, each beside its baseline measured in the same run:
// a forwarding launch (process start to exit, its request delivered to a client served in
// this process) against an empty program of this build that makes two raw round trips over
// a named pipe; a starting launch (the demo client is started) against the empty program.
// The program is also its own baseline: "--empty" returns at once, "--pipe-peer NAME" makes
// the two round trips with the measuring process.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "IPC_Broker.h"
#include "VeskGame/client_control.h"
#include "VeskGame/client_record.h"
#include "VeskGame/request_record.h"
#include "base/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "bench_process.h"
#include "launcher/instance_names.h"

namespace {

using base::win::ScopedFileHandle;
using base::win::ScopedHandle;
using bench::Median;

// Each figure is the median of this many runs, the four kinds taking turns.
const int kRepetitions = 9;
// A run that has not ended by then is taken as hung.
const DWORD kRunTimeoutMs = 60000;
const DWORD kRoundTripBytes = 64;
const int kRoundTrips = 2;
const wchar_t kVersion[] = L"1.0";

double NowMs() {
  return 1000.0 * bench::NowSeconds();
}

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\'));
}

ScopedHandle StartProcess(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      FolderOf(program).c_str(), &startup, &created)) {
    return ScopedHandle();
  }
  ScopedHandle thread(created.hThread);
  return ScopedHandle(created.hProcess);
}

// Starts |program| and waits for its end; the elapsed milliseconds, or -1 on failure.
double TimeRun(const std::wstring& program, const std::wstring& arguments) {
  const double begin = NowMs();
  ScopedHandle process = StartProcess(program, arguments);
  if (!process.IsValid() || WaitForSingleObject(process.Get(), kRunTimeoutMs) != WAIT_OBJECT_0)
    return -1;
  return NowMs() - begin;
}

std::wstring RawPipeName(const std::wstring& tag) {
  return L"\\\\.\\pipe\\launch_bench." + tag;
}

// The measuring side of the raw exchange: answers each message with its own bytes.
double TimeEmptyWithRoundTrips(const std::wstring& tag) {
  ScopedFileHandle pipe(CreateNamedPipeW(RawPipeName(tag).c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, kRoundTripBytes,
                                         kRoundTripBytes, 0, nullptr));
  if (!pipe.IsValid())
    return -1;
  const double begin = NowMs();
  ScopedHandle process = StartProcess(OwnPath(), L"--pipe-peer " + tag);
  if (!process.IsValid())
    return -1;
  ConnectNamedPipe(pipe.Get(), nullptr);
  char buffer[kRoundTripBytes];
  for (int i = 0; i < kRoundTrips; ++i) {
    DWORD done = 0;
    if (!ReadFile(pipe.Get(), buffer, kRoundTripBytes, &done, nullptr) ||
        !WriteFile(pipe.Get(), buffer, done, &done, nullptr)) {
      return -1;
    }
  }
  if (WaitForSingleObject(process.Get(), kRunTimeoutMs) != WAIT_OBJECT_0)
    return -1;
  return NowMs() - begin;
}

int RunPipePeer(const std::wstring& tag) {
  ScopedFileHandle pipe(CreateFileW(RawPipeName(tag).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  if (!pipe.IsValid())
    return 1;
  char buffer[kRoundTripBytes] = {};
  for (int i = 0; i < kRoundTrips; ++i) {
    DWORD done = 0;
    if (!WriteFile(pipe.Get(), buffer, kRoundTripBytes, &done, nullptr) ||
        !ReadFile(pipe.Get(), buffer, kRoundTripBytes, &done, nullptr)) {
      return 1;
    }
  }
  return 0;
}

bool IPC_CALL SignalDelivered(void* event, int /*sourceId*/, void* /*data*/, unsigned /*size*/) {
  return SetEvent(static_cast<HANDLE>(event)) != FALSE;
}

// The running client of the forwarding launches: its mutex and channel, in this process.
class ServedClient {
 public:
  explicit ServedClient(const std::wstring& oemId)
      : mutex_(CreateMutexW(nullptr, TRUE, ClientMutexName(oemId, L"").c_str())),
        delivered_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        server_(IPC_Connect(IPC_MODE_SERVER,
                            base::WideToUTF8(ClientChannelName(oemId, L"")).c_str())) {
    if (server_)
      IPC_AddListener(server_, SignalDelivered, delivered_.Get());
  }
  ~ServedClient() {
    IPC_ShutDown(server_);
    if (mutex_.IsValid())
      ReleaseMutex(mutex_.Get());
  }

  bool IsReady() const { return mutex_.IsValid() && delivered_.IsValid() && server_; }
  HANDLE delivered() const { return delivered_.Get(); }

 private:
  ScopedHandle mutex_;
  ScopedHandle delivered_;
  void* server_;
};

// Process start to exit of a launcher that forwards, with its request delivered.
double TimeForwardingLaunch(const std::wstring& launcher, const std::wstring& oemId,
                            const ServedClient& client) {
  const double begin = NowMs();
  ScopedHandle process = StartProcess(launcher, L"-scmd 123 web 0 -oemid " + oemId);
  const HANDLE both[] = {process.Get(), client.delivered()};
  if (!process.IsValid() ||
      WaitForMultipleObjects(2, both, TRUE, kRunTimeoutMs) != WAIT_OBJECT_0) {
    return -1;
  }
  return NowMs() - begin;
}

// Process start to exit of a launcher that starts the demo client, which is then stopped.
double TimeStartingLaunch(const std::wstring& launcher, const std::wstring& oemId) {
  const double elapsed = TimeRun(launcher, L"-scmd 123 web 0 -oemid " + oemId);
  // The client may still be setting itself up: ask until it has gone.
  const double stopBy = NowMs() + kRunTimeoutMs;
  while (!RequestClientQuit(oemId, L"", kRunTimeoutMs) && NowMs() < stopBy)
    Sleep(10);
  return elapsed;
}

// A demo install in a fresh temporary folder: Launcher.exe, Version.ini and the client.
class Install {
 public:
  Install() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"launch_bench-" + std::to_wstring(GetCurrentProcessId());
    versionFolder_ = root_ + L"\\" + kVersion;
    const std::wstring bin = FolderOf(OwnPath());
    ok_ = CreateDirectoryW(root_.c_str(), nullptr) &&
          CreateDirectoryW(versionFolder_.c_str(), nullptr) &&
          CopyFileW((bin + L"\\Launcher.exe").c_str(), launcher().c_str(), FALSE) &&
          CopyFileW((bin + L"\\VeskGame.exe").c_str(), client().c_str(), FALSE) &&
          WriteVersionIni();
  }
  ~Install() {
    for (const std::wstring& file : {launcher(), client(), ClientStartsPath(versionFolder_),
                                     ClientRequestsPath(versionFolder_), versionIni()}) {
      DeleteFileW(file.c_str());
    }
    RemoveDirectoryW(versionFolder_.c_str());
    RemoveDirectoryW(root_.c_str());
  }

  bool ok() const { return ok_; }
  std::wstring launcher() const { return root_ + L"\\Launcher.exe"; }

 private:
  std::wstring client() const { return versionFolder_ + L"\\VeskGame.exe"; }
  std::wstring versionIni() const { return root_ + L"\\Version.ini"; }

  bool WriteVersionIni() const {
    const std::string text = "[Veskgame]\r\nNewVersion=" + base::WideToUTF8(kVersion) + "\r\n";
    ScopedFileHandle file(CreateFileW(versionIni().c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.IsValid() &&
           WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  std::wstring root_;
  std::wstring versionFolder_;
  bool ok_ = false;
};

void PrintRow(const char* what, double figure, const char* baselineWhat, double baseline) {
  std::printf("%-20s %9.1f ms   %-36s %9.1f ms   %5.2fx\n", what, figure, baselineWhat, baseline,
              figure / baseline);
}

int Measure() {
  Install install;
  if (!install.ok()) {
    std::fprintf(stderr, "launch_bench: cannot lay out the install\n");
    return 1;
  }
  const std::wstring forwardOemId = L"88" + std::to_wstring(GetCurrentProcessId());
  ServedClient client(forwardOemId);
  if (!client.IsReady()) {
    std::fprintf(stderr, "launch_bench: cannot serve the client's channel\n");
    return 1;
  }
  std::vector<double> empty, roundTrips, forwarding, starting;
  for (int i = 0; i < kRepetitions; ++i) {
    const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
    empty.push_back(TimeRun(OwnPath(), L"--empty"));
    roundTrips.push_back(TimeEmptyWithRoundTrips(tag));
    forwarding.push_back(TimeForwardingLaunch(install.launcher(), forwardOemId, client));
    starting.push_back(TimeStartingLaunch(install.launcher(), L"89" + tag));
  }
  for (const std::vector<double>* figures : {&empty, &roundTrips, &forwarding, &starting}) {
    if (std::find(figures->begin(), figures->end(), -1.0) != figures->end()) {
      std::fprintf(stderr, "launch_bench: a run failed or hung\n");
      return 1;
    }
  }
  std::printf("Launcher runs, median of %d, wall time from process start to exit\n",
              kRepetitions);
  PrintRow("forwarding launch", Median(forwarding), "empty program + 2 raw pipe round trips",
           Median(roundTrips));
  PrintRow("starting launch", Median(starting), "empty program", Median(empty));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"--empty")
    return 0;
  if (mode == L"--pipe-peer" && argc > 2)
    return RunPipePeer(argv[2]);
  return Measure();
}
