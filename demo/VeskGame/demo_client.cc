// The demo client's run: presence mutex, request channel, start record, wait for the end.
#include "VeskGame/demo_client.h"

#include <windows.h>

#include <cwchar>

#include "IPC_Broker.h"
#include "VeskGame/client_control.h"
#include "VeskGame/client_record.h"
#include "VeskGame/request_record.h"
#include "base/utf_string_conversions.h"
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

// Runs on the broker's callback thread, one call at a time.
bool IPC_CALL RecordRequest(void* requestsPath, int sourceId, void* data, unsigned size) {
  ReceivedRequest request;
  request.sourceId = sourceId;
  request.bytes.assign(static_cast<const char*>(data), size);
  return AppendReceivedRequest(*static_cast<const std::wstring*>(requestsPath), request);
}

}  // namespace

DemoClient::DemoClient(const LaunchOptions& launchOptions)
    : options(launchOptions),
      oemId(launchOptions.GetValue(kOemIdKey)),
      userId(launchOptions.GetValue(kUserIdKey)),
      requestsPath(ClientRequestsPath(ExecutableFolder())) {}

int DemoClient::Run() {
  if (!TakePresence()) {
    RecordStart(false, false);
    return 1;
  }
  RecordStart(true, Serve());
  WaitForQuit();
  // The channel goes before the mutex, so that a client started once the mutex is gone
  // finds the channel name free.
  IPC_ShutDown(server);
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

bool DemoClient::Serve() {
  const std::string channel = base::WideToUTF8(ClientChannelName(oemId, userId));
  server = IPC_Connect(IPC_MODE_SERVER, channel.c_str());
  // The listener is in place before any launcher can find the client: the start is
  // recorded only after this.
  return server && IPC_AddListener(server, RecordRequest, &requestsPath) == 0;
}

void DemoClient::RecordStart(bool heldMutex, bool servesChannel) const {
  ClientStart start;
  start.processId = GetCurrentProcessId();
  start.commandLine = GetCommandLineW();
  start.workingDirectory = CurrentDirectory();
  start.heldMutex = heldMutex;
  start.servesChannel = servesChannel;
  AppendClientStart(ClientStartsPath(ExecutableFolder()), start);
}

void DemoClient::WaitForQuit() const {
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
