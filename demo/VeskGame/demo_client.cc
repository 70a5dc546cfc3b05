// The demo client's run: presence mutex, start record, wait for the end.
#include "demo/VeskGame/demo_client.h"

#include <windows.h>

#include <cwchar>

#include "demo/VeskGame/client_control.h"
#include "demo/VeskGame/client_record.h"
#include "launcher/instance_names.h"
#include "launcher/launch_options.h"
#include "launcher/option_keys.h"
#include "launcher/path_util.h"

namespace {

// Long enough for a demo or a test; short enough that a forgotten client goes away.
const unsigned long kDefaultQuitAfterMs = 60000;

std::wstring CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, &folder[0]);
  folder.resize(length < size ? length : 0);
  return folder;
}

}  // namespace

DemoClient::DemoClient(const LaunchOptions& launchOptions)
    : options(launchOptions),
      oemId(launchOptions.GetValue(kOemIdKey)),
      userId(launchOptions.GetValue(kUserIdKey)) {}

int DemoClient::Run() {
  if (!TakePresence()) {
    RecordStart(false);
    return 1;
  }
  RecordStart(true);
  ServeUntilQuit();
  ReleaseMutex(clientMutex.Get());
  return 0;
}

bool DemoClient::TakePresence() {
  // The quit event exists before the mutex, so whoever sees the client running can stop it.
  quitEvent.Set(CreateEventW(nullptr, TRUE, FALSE, ClientQuitEventName(oemId, userId).c_str()));
  if (!quitEvent.IsValid())
    return false;
  HANDLE mutex = CreateMutexW(nullptr, TRUE, ClientMutexName(oemId, userId).c_str());
  const DWORD error = GetLastError();
  clientMutex.Set(mutex);
  return clientMutex.IsValid() && error != ERROR_ALREADY_EXISTS;
}

void DemoClient::RecordStart(bool heldMutex) const {
  ClientStart start;
  start.processId = GetCurrentProcessId();
  start.commandLine = GetCommandLineW();
  start.workingDirectory = CurrentDirectory();
  start.heldMutex = heldMutex;
  AppendClientStart(ClientStartsPath(ExecutableFolder()), start);
}

void DemoClient::ServeUntilQuit() const {
  // The client's request channel joins this wait once the client serves the broker.
  WaitForSingleObject(quitEvent.Get(), QuitAfterMs());
}

unsigned long DemoClient::QuitAfterMs() const {
  const std::wstring value = options.GetValue(kQuitAfterKey);
  wchar_t* end = nullptr;
  const unsigned long ms = std::wcstoul(value.c_str(), &end, 10);
  if (value.empty() || *end != L'\0' || ms == 0)
    return kDefaultQuitAfterMs;
  return ms;
}
