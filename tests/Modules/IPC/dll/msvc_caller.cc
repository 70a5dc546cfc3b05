// A client of the broker as MSVC builds one: compiled for the MSVC ABI against the kit's
// header alone, linked with MSVC's import library and no C runtime. It serves the name on its
// command line, waits for one message from another process and calls all ten functions, so
// its imports name every decorated export and its run crosses the ABI both ways: calls into
// the DLL and callbacks out of it. The exit code counts what went wrong.
#include "IPC_Broker.h"

extern "C" {
__declspec(dllimport) char* __stdcall GetCommandLineA();
__declspec(dllimport) unsigned long __stdcall GetTickCount();
__declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);
__declspec(dllimport) void __stdcall ExitProcess(unsigned exit_code);
}

namespace {

const unsigned long kMessageTimeoutMs = 120000;
const unsigned long kPollMs = 20;
const char kExpected[] = "ping";

struct Received {
  volatile long messages;
  volatile long bad;
};

bool IPC_CALL OnMessage(void* user, int source, void* data, unsigned size) {
  Received* received = static_cast<Received*>(user);
  const char* bytes = static_cast<const char*>(data);
  bool same = size == sizeof(kExpected) - 1 && source > IPC_TARGET_SERVER;
  for (unsigned i = 0; same && i < size; ++i)
    same = bytes[i] == kExpected[i];
  received->bad += same ? 0 : 1;
  received->messages += 1;
  return true;
}

void IPC_CALL OnStatus(void*, void*, Status, int, int) {}

// The last word of the command line: the name to serve.
const char* NameToServe() {
  const char* line = GetCommandLineA();
  const char* name = line;
  for (const char* c = line; *c; ++c) {
    if (*c == ' ' && c[1] != ' ' && c[1] != '\0')
      name = c + 1;
  }
  return name;
}

bool WaitForMessage(const Received& received) {
  const unsigned long start = GetTickCount();
  while (received.messages == 0) {
    if (GetTickCount() - start > kMessageTimeoutMs)
      return false;
    Sleep(kPollMs);
  }
  return true;
}

unsigned Run() {
  Received received = {0, 0};
  char byte = 'x';
  void* host = IPC_Connect(IPC_MODE_SERVER, NameToServe());
  if (!host)
    return 100;
  unsigned failures = 0;
  failures += IPC_AddListener(host, OnMessage, &received) != 0;
  failures += IPC_AddStatusCallback(host, OnStatus, nullptr) != 0;
  IPC_RegisterStatusCallback(OnStatus, nullptr);
  failures += IPC_GetCommunicationID(host) <= IPC_TARGET_SERVER;
  failures += !IPC_Send(host, IPC_TARGET_ALL, &byte, 1);
  failures += IPC_Send(IPC_TARGET_ALL, &byte, 0);  // size 0 is refused
  failures += !WaitForMessage(received);
  failures += static_cast<unsigned>(received.bad);
  failures += IPC_RemoveListener(OnMessage, nullptr) != 0;
  failures += IPC_RemoveStatusCallback(OnStatus, nullptr) != 0;
  failures += !IPC_ShutDown(host);
  failures += IPC_GetCommunicationID(host) != 0;  // the handle is gone
  return failures;
}

}  // namespace

extern "C" void __cdecl Start() {
  ExitProcess(Run());
}
