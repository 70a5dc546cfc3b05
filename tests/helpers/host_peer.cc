// A second (or third, or tenth) process of the broker's tests: a host of the broker driven
// line by line on standard input through the exported functions, reporting every result,
// message and status on standard output (the commands and lines are in host_peer_process.h).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "IPC_Broker.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"
#include "ipc/internal/ipc_channel_win.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_message.h"
#include "support/deadline.h"
#include "support/handle_count.h"
#include "support/ipc/host_peer_process.h"
#include "support/ipc/hostile_messages.h"
#include "support/ipc/raw_channel_client.h"

namespace {

base::Lock g_output_lock;
base::Lock g_hosts_lock;
std::vector<void*> g_hosts;  // by slot; guarded by g_hosts_lock
std::map<int, std::string> g_greetings;  // by slot; guarded by g_hosts_lock

void Report(const std::string& line) {
  base::AutoLock hold(g_output_lock);
  fputs((line + "\n").c_str(), stdout);
  fflush(stdout);
}

int Slot(void* host) {
  base::AutoLock hold(g_hosts_lock);
  for (size_t slot = 0; slot < g_hosts.size(); ++slot) {
    if (g_hosts[slot] == host)
      return static_cast<int>(slot);
  }
  return -1;
}

void* HostAt(int slot) {
  base::AutoLock hold(g_hosts_lock);
  return slot >= 0 && slot < static_cast<int>(g_hosts.size()) ? g_hosts[slot] : nullptr;
}

// The user pointer of both callbacks is the slot of the host they were added to.
int SlotOf(void* user) {
  return static_cast<int>(reinterpret_cast<intptr_t>(user));
}

bool IPC_CALL OnMessage(void* user, int source_id, void* data, unsigned size) {
  Report(host_peer::MessageLine(SlotOf(user), source_id, data, size));
  return true;
}

std::string GreetingOf(int slot) {
  base::AutoLock hold(g_hosts_lock);
  auto greeting = g_greetings.find(slot);
  return greeting == g_greetings.end() ? std::string() : greeting->second;
}

void IPC_CALL OnStatus(void* user, void* host, Status status, int id, int process_id) {
  Report(host_peer::StatusLine(SlotOf(user), status, id, process_id, Slot(host)));
  std::string greeting = GreetingOf(SlotOf(user));
  if (status == IPC_STATUS_CONNECTED && !greeting.empty())
    IPC_Send(host, id, &greeting[0], static_cast<unsigned>(greeting.size()));
}

void Greet(int slot, const std::string& text) {
  {
    base::AutoLock hold(g_hosts_lock);
    g_greetings[slot] = text;
  }
  Report("greet 1");
}

ULONGLONG ElapsedSince(ULONGLONG start) {
  return GetTickCount64() - start;
}

void Connect(int mode, const std::string& name) {
  ULONGLONG start = GetTickCount64();
  void* host = IPC_Connect(static_cast<Mode>(mode), name.c_str());
  ULONGLONG elapsed = ElapsedSince(start);
  int slot = -1;
  if (host) {
    slot = Slot(host);
    if (slot < 0) {
      base::AutoLock hold(g_hosts_lock);
      slot = static_cast<int>(g_hosts.size());
      g_hosts.push_back(host);
    }
    void* user = reinterpret_cast<void*>(static_cast<intptr_t>(slot));
    IPC_AddListener(host, &OnMessage, user);
    IPC_AddStatusCallback(host, &OnStatus, user);
  }
  std::ostringstream line;
  line << "connect " << slot << " " << IPC_GetCommunicationID(host) << " " << elapsed;
  Report(line.str());
}

void ReportResult(const std::string& command, bool result) {
  Report(command + (result ? " 1" : " 0"));
}

void Send(const std::string& command, int slot, int target, const std::string& text) {
  ReportResult(command, IPC_Send(HostAt(slot), target, const_cast<char*>(text.data()),
                                 static_cast<unsigned>(text.size())));
}

void SendToHosts(int target, const std::string& text) {
  ReportResult("send-all", IPC_Send(target, const_cast<char*>(text.data()),
                                    static_cast<unsigned>(text.size())));
}

void ShutDown(int slot) {
  ULONGLONG start = GetTickCount64();
  bool done = IPC_ShutDown(HostAt(slot));
  std::ostringstream line;
  line << "shutdown " << (done ? 1 : 0) << " " << ElapsedSince(start);
  Report(line.str());
}

// What a forwarding launcher does, |count| times in a row; reports the cycles that sent.
void Cycle(const std::string& name, int count) {
  int completed = 0;
  std::string text = "cycle";
  for (int i = 0; i < count; ++i) {
    void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
    if (host && IPC_Send(host, IPC_TARGET_SERVER, &text[0], static_cast<unsigned>(text.size())))
      ++completed;
    IPC_ShutDown(host);
  }
  Report("cycle " + std::to_string(completed));
}

// What the launcher does with one message of Pattern(size): connect, send, shut down at once.
void SendAndShutDown(const std::string& name, size_t size) {
  std::string message = host_peer::Pattern(size);
  void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
  bool sent = host && IPC_Send(host, IPC_TARGET_SERVER, &message[0],
                               static_cast<unsigned>(message.size()));
  bool shut_down = IPC_ShutDown(host);
  Report(std::string("send-and-shutdown ") + (host ? "1 " : "0 ") + (sent ? "1 " : "0 ") +
         (shut_down ? "1" : "0"));
}

// |count| messages "flood" to |target|, |interval_ms| apart; reports how many were queued.
void Flood(int slot, int target, int count, int interval_ms) {
  std::string text = "flood";
  int sent = 0;
  for (int i = 0; i < count; ++i) {
    if (IPC_Send(HostAt(slot), target, &text[0], static_cast<unsigned>(text.size())))
      ++sent;
    Sleep(interval_ms);
  }
  Report("flood " + std::to_string(sent));
}

// Opens the rendezvous pipe of |name| as a client would and says nothing.
base::win::ScopedFileHandle g_silent_pipe;

void OpenPipe(const std::string& name) {
  g_silent_pipe.Set(CreateFileW(IPC::Channel::PipePath(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                0, nullptr, OPEN_EXISTING, 0, nullptr));
  ReportResult("open-pipe", g_silent_pipe.IsValid());
}

// A client that got its worker and connected, then froze: it reads nothing from now on.
test::RawChannelClient g_frozen_worker;

void HoldWorker(const std::string& name) {
  const unsigned long kReplyMs = 20000;
  test::RawChannelClient rendezvous;
  std::string worker, reply;
  int id = 0;
  if (test::WaitUntil([&] { return rendezvous.Open(name); }, kReplyMs) &&
      rendezvous.RequestWorker(&worker, kReplyMs)) {
    rendezvous.Close();
    if (g_frozen_worker.Open(worker) &&
        g_frozen_worker.Ask(test::kQueryIdType, &reply, kReplyMs) &&
        reply.size() >= IPC::Message::kHeaderSize + 8)
      memcpy(&id, &reply[IPC::Message::kHeaderSize + 4], sizeof(id));
  }
  Report("hold-worker " + std::to_string(id));
}

// True once the server has broken the pipe; the server's hello may come first.
bool PresentWrongSecret(const std::wstring& path) {
  base::win::ScopedFileHandle pipe(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
  if (!pipe.IsValid())
    return false;
  const uint32_t kWrongSecret = 1;
  std::unique_ptr<IPC::Message> hello(
      IPC::Message::CreateHello(static_cast<int32_t>(GetCurrentProcessId()), kWrongSecret));
  DWORD done = 0;
  if (!WriteFile(pipe.Get(), hello->data(), static_cast<DWORD>(hello->size()), &done, nullptr))
    return false;
  char bytes[256];
  while (ReadFile(pipe.Get(), bytes, sizeof(bytes), &done, nullptr) && done) {
  }
  return true;
}

void Poison(const std::string& path) {
  ReportResult("poison", PresentWrongSecret(std::wstring(path.begin(), path.end())));
}

base::win::ScopedFileHandle g_squatted_pipe;

// Leaves the rendezvous again and again, each time trying to create its pipe in the moment
// between the server's close and its reopening.
void Squat(const std::string& name) {
  const unsigned long kTriesMs = 20000;
  const unsigned long kPerTryMs = 200;
  int32_t secret = 0;
  const std::wstring path = IPC::Channel::ChannelImpl::PipeNameFor(name, &secret);
  auto take_name = [&] {
    g_squatted_pipe.Set(CreateNamedPipeW(path.c_str(),
                                         PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr));
    return g_squatted_pipe.IsValid();
  };
  auto try_once = [&] {
    base::win::ScopedFileHandle client;
    if (!test::WaitUntil([&] {
          client.Set(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
          return client.IsValid();
        }, kPerTryMs))
      return false;
    client.Close();
    const ULONGLONG until = GetTickCount64() + kPerTryMs;
    while (GetTickCount64() < until) {
      if (take_name())
        return true;
    }
    return false;
  };
  Report(test::WaitUntil(try_once, kTriesMs) ? "squat 1" : "squat 0");
}

void Unsquat() {
  g_squatted_pipe.Close();
  Report("unsquat 1");
}

void Attack(const std::string& name, unsigned long seed, int count) {
  std::mt19937 random(seed);
  Report("attack " + std::to_string(test::AttackServer(name, count, &random)));
}

void Run(const std::string& command_line) {
  std::istringstream in(command_line);
  std::string command;
  in >> command;
  int first = 0, second = 0, third = 0;
  unsigned long seed = 0;
  std::string text;
  if (command == "connect" && in >> first >> text) {
    Connect(first, text == host_peer::kEmptyName ? std::string() : text);
  } else if (command == "send" && in >> first >> second >> text) {
    Send(command, first, second, text);
  } else if (command == "send-pattern" && in >> first >> second >> text) {
    Send(command, first, second, host_peer::Pattern(strtoul(text.c_str(), nullptr, 10)));
  } else if (command == "send-all" && in >> first >> text) {
    SendToHosts(first, text);
  } else if (command == "greet" && in >> first >> text) {
    Greet(first, text);
  } else if (command == "send-and-shutdown" && in >> text >> first) {
    SendAndShutDown(text, static_cast<size_t>(first));
  } else if (command == "flood" && in >> first >> second >> seed >> third) {
    Flood(first, second, static_cast<int>(seed), third);
  } else if (command == "shutdown" && in >> first) {
    ShutDown(first);
  } else if (command == "handles") {
    Report("handles " + std::to_string(test::CountOpenHandles()));
  } else if (command == "cycle" && in >> text >> first) {
    Cycle(text, first);
  } else if (command == "open-pipe" && in >> text) {
    OpenPipe(text);
  } else if (command == "hold-worker" && in >> text) {
    HoldWorker(text);
  } else if (command == "poison" && in >> text) {
    Poison(text);
  } else if (command == "squat" && in >> text) {
    Squat(text);
  } else if (command == "unsquat") {
    Unsquat();
  } else if (command == "attack" && in >> text >> seed >> first) {
    Attack(text, seed, first);
  } else if (command == "exit" && in >> first) {
    exit(first);
  } else {
    Report("unknown " + command_line);
  }
}

}  // namespace

int main() {
  Report("pid " + std::to_string(GetCurrentProcessId()));
  char buffer[1024];
  while (fgets(buffer, sizeof(buffer), stdin)) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    Run(line);
  }
  // The test has gone: leave as a process ends, with the hosts still registered.
  return 0;
}
