// One process of the broker's churn soak, driven by lines on standard input (protocol and
// records in support/ipc/churn_soak.h): "serve" is the soak's server; "client" a client
// process whose residents hold a host all along while, with churn, its other threads
// connect, send and shut down in a loop. Uses nothing of the broker but IPC_Broker.h.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "IPC_Broker.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"
#include "support/background_thread.h"
#include "support/deadline.h"
#include "support/handle_count.h"
#include "support/ipc/churn_soak.h"

namespace {

using base::win::ScopedHandle;
using namespace churn;

base::Lock g_output_lock;

void Report(const std::string& text) {
  base::AutoLock hold(g_output_lock);
  fputs(text.c_str(), stdout);
  fflush(stdout);
}

// A message: its kind, its sequence number in the fewest little-endian bytes that hold it,
// then bytes drawn from the number; so one byte is a whole message, and every byte is checked.
char ByteAt(unsigned seq, size_t i) {
  return static_cast<char>(i <= 4 ? seq >> (8 * (i - 1)) : seq * 131 + i * 7 + (i >> 9));
}

std::string Encode(char kind, unsigned seq, size_t size) {
  size_t needed = 1;
  for (unsigned rest = seq; rest; rest >>= 8)
    ++needed;
  std::string bytes(std::max(size, needed), kind);
  for (size_t i = 1; i < bytes.size(); ++i)
    bytes[i] = ByteAt(seq, i);
  return bytes;
}

bool Decode(const char* data, size_t size, unsigned* seq) {
  *seq = 0;
  for (size_t i = 1; i < size && i <= 4; ++i)
    *seq |= static_cast<unsigned>(static_cast<unsigned char>(data[i])) << (8 * (i - 1));
  for (size_t i = 1; i < size; ++i) {
    if (data[i] != ByteAt(*seq, i))
      return false;
  }
  return true;
}

// 1 byte to 1 MiB, smaller sizes more often (the lesser of two powers of two), and up to
// 64 KiB to every client: traffic enough to churn, not to swamp the machine.
size_t DrawSize(int target, std::mt19937* random) {
  std::uniform_int_distribution<int> power(0, target == IPC_TARGET_ALL ? 16 : 20);
  const int bits = std::min(power(*random), power(*random));
  return std::min<size_t>(kMaxMessage, (size_t{1} << bits) + (*random)() % (size_t{1} << bits));
}

bool Send(void* host, int target, const std::string& bytes) {
  return IPC_Send(host, target, const_cast<char*>(bytes.data()),
                  static_cast<unsigned>(bytes.size()));
}

ScopedHandle NewEvent() {
  return ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

bool Wait(const ScopedHandle& event, DWORD ms) {
  return WaitForSingleObject(event.Get(), ms) == WAIT_OBJECT_0;
}

// The records of one host, or of the server, written out when it is done.
class Records {
 public:
  template <typename... Fields>
  void Add(char kind, Fields... fields) {
    std::string line(1, kind);
    for (long long field : {static_cast<long long>(fields)...})
      line += " " + std::to_string(field);
    base::AutoLock hold(lock_);
    text_ += line + "\n";
  }
  void Received(int receiver, int source, const void* data, unsigned size) {
    unsigned seq = 0;
    if (Decode(static_cast<const char*>(data), size, &seq))
      Add('R', receiver, source, seq, size);
    else
      Add('B', receiver, source, size);
  }
  std::string Take() {
    base::AutoLock hold(lock_);
    return std::move(text_);
  }

 private:
  base::Lock lock_;
  std::string text_;  // guarded by lock_
};

//------------------------------------------------------------------------------------------
// The server: greets on status 0, answers fences, sends and serves a second name at random.

struct Server {
  void* host = nullptr;
  int id = 0;
  base::Lock lock;
  unsigned sends = 0;  // guarded by lock
  std::set<int> open;  // clients greeted and not departed; guarded by lock
  Records records;

  // Under the lock: sequence numbers follow the order the broker was handed the messages in.
  void SendLocked(int target, char kind, size_t size) {
    const std::string bytes = Encode(kind, sends, size);
    if (Send(host, target, bytes) && kind == kRegular)
      records.Add('S', id, sends, target, bytes.size());
    sends += kind == kRegular;
  }
  size_t Open() {
    base::AutoLock hold(lock);
    return open.size();
  }
} g_server;

bool IPC_CALL OnServerMessage(void*, int source, void* data, unsigned size) {
  if (*static_cast<const char*>(data) != kFence)
    return g_server.records.Received(g_server.id, source, data, size), true;
  base::AutoLock hold(g_server.lock);
  g_server.records.Add('F', source, g_server.sends);
  g_server.SendLocked(source, kFenceReply, 1);
  return true;
}

void IPC_CALL OnServerStatus(void*, void*, Status status, int id, int) {
  base::AutoLock hold(g_server.lock);
  if (status == IPC_STATUS_ERROR) {
    g_server.records.Add('D', id);
    g_server.open.erase(id);
    return;
  }
  g_server.open.insert(id);
  g_server.records.Add('G', id, g_server.sends);
  g_server.SendLocked(id, kGreeting, 1);
}

void ServerChurn(const std::string& second_name, bool churn, const ScopedHandle& stop,
                 unsigned long seed) {
  std::mt19937 random(seed);
  while (!Wait(stop, random() % kPaceMs)) {
    // Served again at once, up to three times.
    for (int again = churn && random() % 8 == 0 ? random() % 3 : -1; again >= 0; --again) {
      void* second = IPC_Connect(IPC_MODE_SERVER, second_name.c_str());
      g_server.records.Add('V', second != nullptr, second && IPC_ShutDown(second));
    }
    base::AutoLock hold(g_server.lock);
    std::vector<int> open(g_server.open.begin(), g_server.open.end());
    const int target = open.empty() || random() % 2 ? IPC_TARGET_ALL : open[random() % open.size()];
    g_server.SendLocked(target, kRegular, DrawSize(target, &random));
  }
}

size_t PeakCommitted() {
  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakPagefileUsage;
}

// The bytes allocated from every heap of the process. Committed memory is no measure of a
// leak: a heap keeps the pages it once committed (Wine's reports them as committed for good).
size_t HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  size_t bytes = 0;
  for (HANDLE heap : heaps) {
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
        bytes += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return bytes;
}

int Serve(const std::string& name, const std::string& second_name, unsigned long seed,
          bool churn) {
  g_server.host = IPC_Connect(IPC_MODE_SERVER, name.c_str());
  if (!g_server.host)
    return 1;
  g_server.id = IPC_GetCommunicationID(g_server.host);
  IPC_AddListener(g_server.host, &OnServerMessage, nullptr);
  IPC_AddStatusCallback(g_server.host, &OnServerStatus, nullptr);
  const int handles = test::CountOpenHandles();
  const size_t heap_bytes = HeapBytesInUse();
  Report("ready " + std::to_string(g_server.id) + "\n");
  ScopedHandle stop = NewEvent();
  std::unique_ptr<test::BackgroundThread> sender;
  for (std::string command; std::cin >> command;) {
    if (command == "go") {
      sender.reset(new test::BackgroundThread(
          [&] { ServerChurn(second_name, churn, stop, seed); }));
    } else if (command == "stop") {
      SetEvent(stop.Get());
      Report(std::string("stopped ") + (sender && sender->Join() ? "1\n" : "0\n"));
    } else if (size_t open = 0; command == "settle" && std::cin >> open) {
      const bool settled = test::WaitUntil([&] { return g_server.Open() <= open; }, kReplyMs);
      Report("settled " + std::to_string(settled) + "\n");
    } else if (command == "end") {
      test::WaitUntil([] { return g_server.Open() == 0; }, kReplyMs);
      // Departed workers close a second after their status 2.
      test::WaitUntil([&] {
        return test::CountOpenHandles() <= handles + test::kHandlesCreatedOnce &&
               HeapBytesInUse() <= heap_bytes + kHeapSlack;
      }, kReplyMs);
      g_server.records.Add('M', handles, test::CountOpenHandles(), heap_bytes, HeapBytesInUse(),
                           PeakCommitted());
      Report(g_server.records.Take());
      Report(std::string("shutdown ") + (IPC_ShutDown(g_server.host) ? "1\n" : "0\n"));
      return 0;
    }
  }
  return 1;
}

//------------------------------------------------------------------------------------------
// A client process: residents connect at start and stay; churn threads cycle hosts.

struct ClientHost {
  void* host = nullptr;
  int id = 0;
  unsigned seq = 0;
  ULONGLONG connect_ms = 0;
  bool greeted_in_time = false;
  std::atomic<int> server_id{0};
  ScopedHandle greeted = NewEvent(), answered = NewEvent();
  ScopedHandle quiet = NewEvent();  // a resident that stopped sending and fenced
  std::atomic<bool> drained{false};  // its fence was answered
  base::Lock lock;
  std::vector<int> peers;  // clients it heard from; guarded by lock
  Records records;
};

bool IPC_CALL OnClientMessage(void* user, int source, void* data, unsigned size) {
  ClientHost* host = static_cast<ClientHost*>(user);
  const char kind = *static_cast<const char*>(data);
  if (kind == kGreeting)
    host->server_id = source;
  if (kind == kGreeting || kind == kFenceReply)
    return SetEvent((kind == kGreeting ? host->greeted : host->answered).Get()), true;
  host->records.Received(host->id, source, data, size);
  base::AutoLock hold(host->lock);
  if (source != host->server_id &&
      std::find(host->peers.begin(), host->peers.end(), source) == host->peers.end())
    host->peers.push_back(source);
  return true;
}

struct Client {
  std::string name;
  base::Lock lock;
  std::deque<ClientHost> hosts;  // kept to the end, for callbacks that may still run
  ScopedHandle go = NewEvent(), stop = NewEvent(), finish = NewEvent();

  ClientHost* Connect() {
    ClientHost* host;
    {
      base::AutoLock hold(lock);
      host = &hosts.emplace_back();
    }
    const ULONGLONG start = GetTickCount64();
    host->host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
    host->connect_ms = GetTickCount64() - start;
    if (!host->host) {
      Report("N " + std::to_string(host->connect_ms) + "\n");
      return nullptr;
    }
    host->id = IPC_GetCommunicationID(host->host);
    IPC_AddListener(host->host, &OnClientMessage, host);
    host->greeted_in_time = Wait(host->greeted, kReplyMs);
    return host;
  }
};

// To the server, to every client or to a client it heard from.
void SendRandom(ClientHost* host, bool to_server, std::mt19937* random) {
  int target = IPC_TARGET_SERVER;
  const unsigned pick = to_server ? 0 : (*random)() % 3;
  if (pick > 0) {
    base::AutoLock hold(host->lock);
    target = pick == 1 || host->peers.empty() ? IPC_TARGET_ALL
                                              : host->peers[(*random)() % host->peers.size()];
  }
  const std::string bytes = Encode(kRegular, host->seq++, DrawSize(target, random));
  if (Send(host->host, target, bytes))
    host->records.Add('S', host->id, host->seq - 1, target, bytes.size());
  else
    host->records.Add('E', host->id);
}

// Answered once the server has read all the host sent before, and after all the server sent
// it before.
bool Fence(ClientHost* host, DWORD ms = kReplyMs) {
  ResetEvent(host->answered.Get());
  return Send(host->host, IPC_TARGET_SERVER, std::string(1, kFence)) && Wait(host->answered, ms);
}

// Fences, sends a few more (a resident only to the server: its peers are leaving too), shuts
// down at once and reports.
void Leave(ClientHost* host, bool resident, std::mt19937* random) {
  const bool fenced = Fence(host);
  for (int tail = (*random)() % 4; tail > 0; --tail)
    SendRandom(host, resident, random);
  const bool down = IPC_ShutDown(host->host);
  host->records.Add('H', host->id, host->connect_ms, host->greeted_in_time, fenced, down);
  Report(host->records.Take());
}

void Resident(Client* client, ClientHost* host, unsigned long seed) {
  std::mt19937 random(seed);
  Wait(client->go, INFINITE);
  while (!Wait(client->stop, random() % kPaceMs))
    SendRandom(host, false, &random);
  // What it sent other clients is forwarded before their last fences.
  host->drained = Fence(host, kDrainMs);
  SetEvent(host->quiet.Get());
  Wait(client->finish, INFINITE);
  Leave(host, true, &random);
}

void Cycle(Client* client, unsigned long seed) {
  std::mt19937 random(seed);
  Wait(client->go, INFINITE);
  while (!Wait(client->stop, 0)) {
    if (ClientHost* host = client->Connect()) {
      for (int sends = random() % 12; sends > 0 && !Wait(client->stop, random() % kPaceMs); --sends)
        SendRandom(host, false, &random);
      Leave(host, false, &random);
    }
  }
}

int RunClient(const std::string& name, unsigned long seed, int threads, bool churn) {
  Client client;
  client.name = name;
  std::vector<std::unique_ptr<test::BackgroundThread>> residents, cyclers;
  std::vector<ClientHost*> resident_hosts;
  std::string ready = "ready";
  for (int i = 0; i < threads; ++i) {
    if (churn && i > 0) {
      cyclers.emplace_back(new test::BackgroundThread([&, i] { Cycle(&client, seed + i); }));
      continue;
    }
    ClientHost* host = client.Connect();
    if (!host)
      return 1;
    ready += " " + std::to_string(host->id);
    resident_hosts.push_back(host);
    residents.emplace_back(
        new test::BackgroundThread([&, host, i] { Resident(&client, host, seed + i); }));
  }
  Report(ready + "\n");
  bool joined = true;
  for (std::string command; std::cin >> command;) {
    if (command == "go") {
      SetEvent(client.go.Get());
    } else if (command == "stop") {
      SetEvent(client.stop.Get());
      for (auto& thread : cyclers)
        joined &= thread->Join();
      for (ClientHost* host : resident_hosts)
        joined &= Wait(host->quiet, kDrainMs + kReplyMs) && host->drained;
      Report(std::string("stopped ") + (joined ? "1\n" : "0\n"));
    } else if (command == "finish") {
      SetEvent(client.finish.Get());
      for (auto& thread : residents)
        joined &= thread->Join();
      Report(std::string("finished ") + (joined ? "1\n" : "0\n"));
      return 0;
    }
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 6 && mode == "serve")
    return Serve(argv[2], argv[3], strtoul(argv[4], nullptr, 10), atoi(argv[5]) != 0);
  if (argc == 6 && mode == "client")
    return RunClient(argv[2], strtoul(argv[3], nullptr, 10), atoi(argv[4]), atoi(argv[5]) != 0);
  fputs("churn_peer serve <name> <second name> <seed> <churn 0|1>\n"
        "churn_peer client <name> <seed> <threads> <churn 0|1>\n", stderr);
  return 2;
}
