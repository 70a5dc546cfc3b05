// The demo client's run: presence mutex, request channel, start record, wait for the end.
#include "VeskGame/demo_client.h"

#include <windows.h>

#include <cwchar>

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

}  // namespace

DemoClient::DemoClient(const LaunchOptions& options)
    : options_(options),
      oem_id_(options.GetValue(kOemIdKey)),
      user_id_(options.GetValue(kUserIdKey)),
      requests_path_(ClientRequestsPath(ExecutableFolder())) {}

int DemoClient::Run() {
  if (!TakePresence()) {
    RecordStart(false, false);
    return 1;
  }
  RecordStart(true, Serve());
  WaitForQuit();
  // The channel goes before the mutex, so that a client started once the mutex is gone
  // finds the channel name free.
  IPC_ShutDown(server_);
  ReleaseMutex(client_mutex_.Get());
  return 0;
}

bool DemoClient::TakePresence() {
  // The quit event exists before the mutex, so whoever sees the client running can stop it.
  quit_event_.Set(
      CreateEventW(nullptr, TRUE, FALSE, ClientQuitEventName(oem_id_, user_id_).c_str()));
  if (!quit_event_.IsValid())
    return false;
  HANDLE mutex = CreateMutexW(nullptr, TRUE, ClientMutexName(oem_id_, user_id_).c_str());
  const DWORD error = GetLastError();
  client_mutex_.Set(mutex);
  return client_mutex_.IsValid() && error != ERROR_ALREADY_EXISTS;
}

bool DemoClient::Serve() {
  const std::string channel = base::WideToUTF8(ClientChannelName(oem_id_, user_id_));
  server_ = IPC_Connect(IPC_MODE_SERVER, channel.c_str());
  // The listener is in place before any launcher can find the client: the start is
  // recorded only after this.
  return server_ && IPC_AddListener(server_, OnRequest, this) == 0;
}

// Runs on the broker's callback thread, one call at a time.
bool IPC_CALL DemoClient::OnRequest(void* self, int source_id, void* data, unsigned size) {
  const DemoClient* client = static_cast<const DemoClient*>(self);
  // The launcher that sent the request has let this process take the foreground.
  client->window_.BringToFront();
  ReceivedRequest request;
  request.sourceId = source_id;
  request.bytes.assign(static_cast<const char*>(data), size);
  return AppendReceivedRequest(client->requests_path_, request);
}

void DemoClient::RecordStart(bool held_mutex, bool serves_channel) const {
  ClientStart start;
  start.processId = GetCurrentProcessId();
  start.commandLine = GetCommandLineW();
  start.workingDirectory = CurrentDirectory();
  start.heldMutex = held_mutex;
  start.servesChannel = serves_channel;
  AppendClientStart(ClientStartsPath(ExecutableFolder()), start);
}

void DemoClient::WaitForQuit() const {
  window_.PumpUntil(quit_event_, QuitAfterMs());
}

unsigned long DemoClient::QuitAfterMs() const {
  const std::wstring value = options_.GetValue(kQuitAfterKey);
  wchar_t* end = nullptr;
  const unsigned long ms = std::wcstoul(value.c_str(), &end, 10);
  if (value.empty() || *end != L'\0' || ms == 0)
    return kDefaultQuitAfterMs;
  return ms;
}
