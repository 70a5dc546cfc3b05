// One process of the broker's churn soak, driven by lines on standard input and reporting
// on standard output (the protocol is in support/ipc/churn_soak.h). "serve" is the soak's
// server; "client" holds resident hosts for the whole run and, with churn, has its other
// threads connect, send and shut down in a loop. Uses nothing of the broker but IPC_Broker.h.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
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

void Report(const std::string& line) {
  base::AutoLock hold(g_output_lock);
  fputs((line + "\n").c_str(), stdout);
  fflush(stdout);
}

// A message: its kind, then its sequence number in the fewest little-endian bytes that hold
// it, then bytes drawn from the number; so one byte is a whole message, and the receiver
// checks every byte.
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

// The sequence number of a whole message; false for one with a byte out of place.
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

// 1 byte up to 1 MiB, smaller sizes more often (the lesser of two powers of two), and up to
// 64 KiB for every client: enough traffic to churn, not to swamp the machine.
size_t DrawSize(int target, std::mt19937* random) {
  std::uniform_int_distribution<int> power(0, target == IPC_TARGET_ALL ? 16 : 20);
  const int bits = std::min(power(*random), power(*random));
  return std::min<size_t>(kMaxMessage, (size_t{1} << bits) + (*random)() % (size_t{1} << bits));
}

bool Send(void* host, int target, const std::string& bytes) {
  return IPC_Send(host, target, const_cast<char*>(bytes.data()), static_cast<unsigned>(bytes.size()));
}

ScopedHandle NewEvent() {
  return ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

bool Wait(const ScopedHandle& event, DWORD ms) {
  return WaitForSingleObject(event.Get(), ms) == WAIT_OBJECT_0;
}

// What one host received: regular messages as "source seq size", and corrupted ones.
struct Receipts {
  base::Lock lock;
  std::ostringstream got, bad;  // guarded by lock
  int got_count = 0, bad_count = 0;
  std::vector<int> peers;  // sources seen besides the server; guarded by lock

  void Take(int source, const char* data, unsigned size, bool peer) {
    unsigned seq = 0;
    base::AutoLock hold(lock);
    if (!Decode(data, size, &seq)) {
      bad << " " << source << " " << size;
      ++bad_count;
      return;
    }
    got << " " << source << " " << seq << " " << size;
    ++got_count;
    if (peer && std::find(peers.begin(), peers.end(), source) == peers.end())
      peers.push_back(source);
  }
  std::string Line() {
    base::AutoLock hold(lock);
    return " got " + std::to_string(got_count) + got.str() + " bad " +
           std::to_string(bad_count) + bad.str();
  }
};

//------------------------------------------------------------------------------------------
// The server: greets on status 0, answers fences, sends and serves a second name at random.

struct Server {
  void* host = nullptr;
  int id = 0;
  base::Lock lock;
  std::vector<std::pair<int, size_t>> sent;  // target and size by seq; guarded by lock
  std::map<int, std::pair<int, size_t>> greeted;  // id to pid and sends before its greeting
  std::map<int, size_t> fenced;                   // id to sends before its last fence
  std::map<int, int> departures;
  Receipts receipts;
  int serves = 0, serve_refusals = 0, stop_refusals = 0;

  // Sends from under the lock, so the order of |sent| is the order the broker got them in.
  void SendLocked(int target, char kind, size_t size) {
    Send(host, target, Encode(kind, static_cast<unsigned>(sent.size()), size));
    if (kind == kRegular)
      sent.push_back({target, size});
  }
  int Open() {
    base::AutoLock hold(lock);
    int open = 0;
    for (const auto& entry : greeted)
      open += departures.count(entry.first) == 0;
    return open;
  }
} g_server;

bool IPC_CALL OnServerMessage(void*, int source, void* data, unsigned size) {
  const char* bytes = static_cast<const char*>(data);
  if (bytes[0] == kFence) {
    base::AutoLock hold(g_server.lock);
    g_server.fenced[source] = g_server.sent.size();
    g_server.SendLocked(source, kFenceReply, 1);
  } else {
    g_server.receipts.Take(source, bytes, size, false);
  }
  return true;
}

void IPC_CALL OnServerStatus(void*, void*, Status status, int id, int pid) {
  base::AutoLock hold(g_server.lock);
  if (status == IPC_STATUS_ERROR) {
    ++g_server.departures[id];
    return;
  }
  g_server.greeted[id] = {pid, g_server.sent.size()};
  g_server.SendLocked(id, kGreeting, 1);
}

void ServeSecondName(const std::string& name, std::mt19937* random) {
  for (int again = (*random)() % 3; again >= 0; --again) {
    void* host = IPC_Connect(IPC_MODE_SERVER, name.c_str());
    base::AutoLock hold(g_server.lock);
    ++g_server.serves;
    g_server.serve_refusals += !host;
    g_server.stop_refusals += host && !IPC_ShutDown(host);
  }
}

void ServerChurn(const std::string& second_name, bool churn, std::mt19937* random,
                 const ScopedHandle& stop) {
  while (!Wait(stop, (*random)() % kPaceMs)) {
    if (churn && (*random)() % 8 == 0) {
      ServeSecondName(second_name, random);
      continue;
    }
    base::AutoLock hold(g_server.lock);
    std::vector<int> open;
    for (const auto& entry : g_server.greeted) {
      if (!g_server.departures.count(entry.first))
        open.push_back(entry.first);
    }
    int target = open.empty() || (*random)() % 2 ? IPC_TARGET_ALL : open[(*random)() % open.size()];
    g_server.SendLocked(target, kRegular, DrawSize(target, random));
  }
}

size_t Committed(bool peak) {
  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return peak ? counters.PeakPagefileUsage : counters.PagefileUsage;
}

template <typename Map, typename Write>
std::string Entries(const char* what, const Map& map, Write write) {
  std::ostringstream line;
  line << what << " " << map.size();
  for (const auto& entry : map)
    write(line, entry);
  return line.str();
}

void ReportServer(int handles, size_t committed) {
  base::AutoLock hold(g_server.lock);
  Report(Entries("sent", g_server.sent, [](std::ostream& o, const std::pair<int, size_t>& e) {
    o << " " << e.first << " " << e.second;
  }));
  Report(Entries("greeted", g_server.greeted, [](std::ostream& o, const auto& e) {
    o << " " << e.first << " " << e.second.first << " " << e.second.second;
  }));
  auto pair = [](std::ostream& o, const auto& e) { o << " " << e.first << " " << e.second; };
  Report(Entries("fenced", g_server.fenced, pair));
  Report(Entries("departed", g_server.departures, pair));
  Report("received" + g_server.receipts.Line());
  Report("served " + std::to_string(g_server.serves) + " " +
         std::to_string(g_server.serve_refusals) + " " + std::to_string(g_server.stop_refusals));
  Report("resources " + std::to_string(handles) + " " + std::to_string(test::CountOpenHandles()) +
         " " + std::to_string(committed) + " " + std::to_string(Committed(false)) + " " +
         std::to_string(Committed(true)));
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
  const size_t committed = Committed(false);
  Report("ready " + std::to_string(g_server.id));
  std::mt19937 random(seed);
  ScopedHandle stop = NewEvent();
  std::unique_ptr<test::BackgroundThread> sender;
  for (std::string command; std::cin >> command;) {
    if (command == "go") {
      sender.reset(new test::BackgroundThread(
          [&] { ServerChurn(second_name, churn, &random, stop); }));
    } else if (command == "stop") {
      SetEvent(stop.Get());
      Report(std::string("stopped ") + (sender && sender->Join() ? "1" : "0"));
    } else if (int open = 0; command == "settle" && std::cin >> open) {
      // Clients but the residents have gone once their departures are reported.
      Report("settled " + std::to_string(
                              test::WaitUntil([&] { return g_server.Open() <= open; }, kReplyMs)));
    } else if (command == "end") {
      test::WaitUntil([] { return g_server.Open() == 0; }, kReplyMs);
      // Departed workers close a second after their status 2.
      test::WaitUntil(
          [&] {
            return test::CountOpenHandles() <= handles + test::kHandlesCreatedOnce &&
                   Committed(false) <= committed + kCommittedSlack;
          },
          kReplyMs);
      ReportServer(handles, committed);
      Report(std::string("shutdown ") + (IPC_ShutDown(g_server.host) ? "1" : "0"));
      return 0;
    }
  }
  return 1;
}

//------------------------------------------------------------------------------------------
// A client process: residents connect at start and stay; churn threads cycle hosts.

struct ClientHost {
  ClientHost() : greeted(NewEvent()), answered(NewEvent()), quiet(NewEvent()) {}
  void* host = nullptr;
  int id = 0;
  ScopedHandle greeted, answered;
  ScopedHandle quiet;  // a resident that stopped sending and fenced
  std::atomic<int> server_id{0};
  Receipts receipts;
  ULONGLONG connect_ms = 0;
  bool greeted_in_time = false;
  std::ostringstream sent;  // " seq target size" each
  int sent_count = 0, refused = 0;
  unsigned seq = 0;
};

bool IPC_CALL OnClientMessage(void* user, int source, void* data, unsigned size) {
  ClientHost* host = static_cast<ClientHost*>(user);
  const char kind = *static_cast<const char*>(data);
  if (kind == kGreeting) {
    host->server_id = source;
    SetEvent(host->greeted.Get());
  }
  else if (kind == kFenceReply)
    SetEvent(host->answered.Get());
  else
    host->receipts.Take(source, static_cast<const char*>(data), size, source != host->server_id);
  return true;
}

struct Client {
  std::string name;
  base::Lock lock;
  std::deque<ClientHost> hosts;  // kept to the end: callbacks may still hold one
  ScopedHandle go = NewEvent(), stop = NewEvent(), finish = NewEvent();

  ClientHost* Connect() {
    ClientHost* host;
    {
      base::AutoLock hold(lock);
      hosts.emplace_back();
      host = &hosts.back();
    }
    const ULONGLONG start = GetTickCount64();
    host->host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
    const ULONGLONG ms = GetTickCount64() - start;
    if (!host->host) {
      Report("refused " + std::to_string(ms));
      return nullptr;
    }
    IPC_AddListener(host->host, &OnClientMessage, host);
    host->id = IPC_GetCommunicationID(host->host);
    host->connect_ms = ms;
    host->greeted_in_time = Wait(host->greeted, kReplyMs);
    return host;
  }
};

void SendRandom(ClientHost* host, bool to_server, std::mt19937* random) {
  std::vector<int> peers;
  {
    base::AutoLock hold(host->receipts.lock);
    peers = host->receipts.peers;
  }
  const int pick = to_server ? 0 : (*random)() % 3;
  const int target = pick == 0 || (pick == 2 && peers.empty())
                         ? IPC_TARGET_SERVER
                         : pick == 1 ? IPC_TARGET_ALL : peers[(*random)() % peers.size()];
  const size_t size = DrawSize(target, random);
  const std::string bytes = Encode(kRegular, host->seq, size);
  if (!Send(host->host, target, bytes)) {
    ++host->refused;
    return;
  }
  host->sent << " " << host->seq++ << " " << target << " " << bytes.size();
  ++host->sent_count;
}

// A fence: everything the server sent before answering it has arrived.
bool Fence(ClientHost* host) {
  ResetEvent(host->answered.Get());
  return Send(host->host, IPC_TARGET_SERVER, std::string(1, kFence)) &&
         Wait(host->answered, kReplyMs);
}

// Fences, sends a few more (only to the server from a resident, whose peers are leaving
// too), shuts down at once and reports.
void Leave(ClientHost* host, bool resident, std::mt19937* random) {
  const bool fenced = Fence(host);
  for (int tail = (*random)() % 4; tail > 0; --tail)
    SendRandom(host, resident, random);
  const bool down = IPC_ShutDown(host->host);
  std::ostringstream line;
  line << "host " << host->id << " " << host->connect_ms << " " << host->greeted_in_time << " "
       << fenced << " " << down << " " << resident << " " << host->refused << " sent "
       << host->sent_count << host->sent.str() << host->receipts.Line();
  Report(line.str());
}

void Resident(Client* client, ClientHost* host, unsigned long seed) {
  std::mt19937 random(seed);
  Wait(client->go, INFINITE);
  while (!Wait(client->stop, random() % kPaceMs))
    SendRandom(host, false, &random);
  // Answered once the server has read all it sent, so that what it sent to other clients
  // is forwarded before their last fences.
  Fence(host);
  SetEvent(host->quiet.Get());
  Wait(client->finish, INFINITE);
  Leave(host, true, &random);
}

void Cycle(Client* client, unsigned long seed) {
  std::mt19937 random(seed);
  Wait(client->go, INFINITE);
  while (WaitForSingleObject(client->stop.Get(), 0) != WAIT_OBJECT_0) {
    ClientHost* host = client->Connect();
    if (!host)
      continue;
    for (int sends = random() % 12; sends > 0 && !Wait(client->stop, random() % kPaceMs); --sends)
      SendRandom(host, false, &random);
    Leave(host, false, &random);
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
  Report(ready);
  for (std::string command; std::cin >> command;) {
    if (command == "go") {
      SetEvent(client.go.Get());
    } else if (command == "stop") {
      SetEvent(client.stop.Get());
      bool joined = true;
      for (auto& thread : cyclers)
        joined &= thread->Join();
      for (ClientHost* host : resident_hosts)
        joined &= Wait(host->quiet, 2 * kReplyMs);
      Report(std::string("stopped ") + (joined ? "1" : "0"));
    } else if (command == "finish") {
      SetEvent(client.finish.Get());
      bool joined = true;
      for (auto& thread : residents)
        joined &= thread->Join();
      Report(std::string("finished ") + (joined ? "1" : "0"));
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
