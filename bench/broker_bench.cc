// The broker through its exported functions, each figure beside a baseline of the layers
// beneath measured in the same run: client-to-server throughput against a channel proxy,
// relay latency against a direct channel ping-pong, a forwarding launcher's connect, send and
// shutdown against raw pipe opens and round trips; and how many of ten clients connecting at
// once get through; and the churn soak against the same traffic without churn. Prints the
// tables. Arguments name the tables to print (throughput, latency, forward, burst, soak);
// none prints all.
// The program is every process of a measurement: it starts itself with one of the "--" modes
// of main() as the other ends.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "IPC_Broker.h"
#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "bench_process.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_channel_proxy.h"
#include "ipc/ipc_message.h"
#include "support/ipc/churn_soak.h"

namespace {

using base::win::ScopedFileHandle;
using base::win::ScopedHandle;
using bench::kWorkloads;
using bench::Median;
using bench::Workload;
using bench::NowSeconds;

const int kRepetitions = 3;
const DWORD kRunTimeoutMs = 120000;
const uint32_t kBenchType = 7;

// Names every process of one run agrees on, unique per run.
std::string NextName(const char* what) {
  static int serial = 0;
  return std::string("broker-bench-") + what + "-" + std::to_string(GetCurrentProcessId()) +
         "-" + std::to_string(++serial);
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// A named event the parent creates and a child signals when it is ready.
ScopedHandle CreateReadyEvent(const std::string& name) {
  return ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, Wide(name).c_str()));
}

void SignalReady(const std::string& name) {
  ScopedHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, Wide(name).c_str()));
  SetEvent(event.Get());
}

bool WaitFor(const ScopedHandle& handle) {
  return WaitForSingleObject(handle.Get(), kRunTimeoutMs) == WAIT_OBJECT_0;
}

//------------------------------------------------------------------------------------------
// Throughput: the client sends count + 1 messages; the first starts the receiver's clock.

struct Receipts {
  explicit Receipts(int expected_count)
      : expected(expected_count), received(0), start(0), seconds(-1), source(0),
        done(true, false) {}
  const int expected;
  std::atomic<int> received;
  double start;
  double seconds;
  int source;
  base::WaitableEvent done;

  void Count(int source_id) {
    int count = received++;
    if (count == 0) {
      start = NowSeconds();
      source = source_id;
    } else if (count == expected) {
      seconds = NowSeconds() - start;
      done.Signal();
    }
  }
};

bool IPC_CALL CountMessage(void* user, int source_id, void*, unsigned) {
  static_cast<Receipts*>(user)->Count(source_id);
  return true;
}

bool IPC_CALL SignalOnMessage(void* user, int, void*, unsigned) {
  static_cast<base::WaitableEvent*>(user)->Signal();
  return true;
}

std::string SenderArguments(const char* mode, const std::string& name, const Workload& load) {
  return std::string(mode) + " " + name + " " + std::to_string(load.payload) + " " +
         std::to_string(load.count);
}

// Sends, then waits for the receiver's word that all arrived before it shuts down.
int RunBrokerSender(const std::string& name, size_t payload, int count) {
  void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
  if (!host)
    return 1;
  base::WaitableEvent acknowledged(true, false);
  IPC_AddListener(host, &SignalOnMessage, &acknowledged);
  std::vector<char> bytes(payload, 'b');
  for (int i = 0; i <= count; ++i)
    IPC_Send(host, IPC_TARGET_SERVER, bytes.data(), static_cast<unsigned>(bytes.size()));
  acknowledged.TimedWait(base::TimeDelta::FromMilliseconds(kRunTimeoutMs));
  IPC_ShutDown(host);
  return 0;
}

double ReceiveThroughBroker(const Workload& load) {
  std::string name = NextName("throughput");
  void* server = IPC_Connect(IPC_MODE_SERVER, name.c_str());
  if (!server)
    return -1;
  Receipts receipts(load.count);
  IPC_AddListener(server, &CountMessage, &receipts);
  ScopedHandle sender = bench::StartSelf(SenderArguments("--broker-send", name, load));
  bool done = receipts.done.TimedWait(base::TimeDelta::FromMilliseconds(kRunTimeoutMs));
  char ack = 'a';
  IPC_Send(server, receipts.source, &ack, 1);
  WaitFor(sender);
  IPC_RemoveListener(&CountMessage, nullptr);
  IPC_ShutDown(server);
  return done ? receipts.seconds : -1;
}

// The channel layer's own path: a channel proxy on each side, an IO thread beneath.
class ProxyEnd : public IPC::Channel::Listener {
 public:
  explicit ProxyEnd(Receipts* receipts) : receipts_(receipts) {}

  bool OnMessageReceived(const IPC::Message& /*message*/) override {
    receipts_->Count(0);
    if (receipts_->done.IsSignaled())
      MessageLoop::current()->Quit();
    return true;
  }
  void OnChannelError() override { MessageLoop::current()->Quit(); }

 private:
  Receipts* receipts_;
};

// Runs |body| with an IO thread and a default loop on this thread, as a proxy needs.
template <typename Body>
bool WithProxyThreads(Body body) {
  MessageLoop loop;
  base::Thread io_thread("bench-io");
  if (!io_thread.StartWithOptions(base::Thread::Options(MessageLoop::TYPE_IO, 0)))
    return false;
  body(io_thread.message_loop_proxy().get());
  io_thread.Stop();
  return true;
}

// Runs this thread's loop until a listener quits it, or for kRunTimeoutMs at the most.
void RunLoopWithDeadline() {
  MessageLoop::current()->PostDelayedTask(FROM_HERE, MessageLoop::QuitClosure(),
                                          static_cast<int64_t>(kRunTimeoutMs));
  MessageLoop::current()->Run();
}

int RunProxySender(const std::string& channel_id, size_t payload, int count) {
  WithProxyThreads([&](base::MessageLoopProxy* io) {
    Receipts unused(0);
    ProxyEnd end(&unused);
    IPC::ChannelProxy proxy(channel_id, IPC::Channel::kModeClient, &end, io);
    std::string bytes(payload, 'c');
    for (int i = 0; i <= count; ++i) {
      IPC::Message* message = new IPC::Message(0, kBenchType, IPC::Message::kPriorityNormal);
      message->WriteBytes(bytes.data(), static_cast<int>(bytes.size()));
      proxy.Send(message);
    }
    // The receiver hangs up once everything arrived.
    RunLoopWithDeadline();
    proxy.CloseWait();
  });
  return 0;
}

double ReceiveThroughProxy(const Workload& load) {
  double seconds = -1;
  WithProxyThreads([&](base::MessageLoopProxy* io) {
    std::string channel_id = NextName("proxy");
    Receipts receipts(load.count);
    ProxyEnd end(&receipts);
    IPC::ChannelProxy proxy(channel_id, IPC::Channel::kModeServer, &end, io);
    ScopedHandle sender = bench::StartSelf(SenderArguments("--proxy-send", channel_id, load));
    RunLoopWithDeadline();
    if (receipts.done.IsSignaled())
      seconds = receipts.seconds;
    proxy.CloseWait();
    WaitFor(sender);
  });
  return seconds;
}

void PrintThroughput() {
  printf("Client to server, two processes, median of %d runs: IPC_Send and a listener against\n"
         "a channel proxy on each side sending the same payloads\n\n", kRepetitions);
  printf("| payload | count | proxy msg/s | broker msg/s | proxy MB/s | broker MB/s |"
         " broker/proxy |\n|---|---|---|---|---|---|---|\n");
  for (const Workload& load : kWorkloads) {
    std::vector<double> proxy, broker;
    for (int i = 0; i < kRepetitions; ++i) {
      proxy.push_back(ReceiveThroughProxy(load));
      broker.push_back(ReceiveThroughBroker(load));
    }
    double proxy_seconds = Median(proxy), broker_seconds = Median(broker);
    if (proxy_seconds <= 0 || broker_seconds <= 0) {
      printf("| %s | %d | failed (%.3f s, %.3f s) | | | | |\n", load.label, load.count,
             proxy_seconds, broker_seconds);
      continue;
    }
    double megabytes = load.payload * static_cast<double>(load.count) / 1e6;
    printf("| %s | %d | %.0f | %.0f | %.1f | %.1f | %.0f %% |\n", load.label, load.count,
           load.count / proxy_seconds, load.count / broker_seconds, megabytes / proxy_seconds,
           megabytes / broker_seconds, 100.0 * proxy_seconds / broker_seconds);
    fflush(stdout);
  }
}

//------------------------------------------------------------------------------------------
// Latency: client A (this process) to client B through a server, B answering; against a
// direct channel between two processes, the other end answering.

const int kRoundTrips = 1000;
const int kWarmUpRoundTrips = 50;
const size_t kPingSize = 16;

// A server host until it is ended.
int RunServer(const std::string& name, const std::string& ready) {
  void* host = IPC_Connect(IPC_MODE_SERVER, name.c_str());
  SignalReady(ready);
  Sleep(INFINITE);
  return host ? 0 : 1;
}

// Answers every message to its sender.
bool IPC_CALL Answer(void* user, int source_id, void* data, unsigned size) {
  IPC_Send(*static_cast<void**>(user), source_id, data, size);
  return true;
}

int RunBrokerAnswerer(const std::string& name, const std::string& ready) {
  static void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
  IPC_AddListener(host, &Answer, &host);
  SignalReady(ready);
  Sleep(INFINITE);
  return 0;
}

struct Reply {
  Reply() : arrived(false, false), source(0) {}
  base::WaitableEvent arrived;  // auto reset
  std::atomic<int> source;
};

bool IPC_CALL NoteReply(void* user, int source_id, void*, unsigned) {
  Reply* reply = static_cast<Reply*>(user);
  reply->source = source_id;
  reply->arrived.Signal();
  return true;
}

// Starts a child in |mode| for |name| and waits until it is ready.
ScopedHandle StartReadyChild(const char* mode, const std::string& name) {
  std::string ready = name + "-ready";
  ScopedHandle event = CreateReadyEvent(ready);
  ScopedHandle child = bench::StartSelf(std::string(mode) + " " + name + " " + ready);
  if (!WaitFor(event))
    return ScopedHandle();
  return child;
}

void EndChild(const ScopedHandle& child) {
  TerminateProcess(child.Get(), 0);
  WaitForSingleObject(child.Get(), kRunTimeoutMs);
}

double RelayRoundTrip() {
  std::string name = NextName("relay");
  ScopedHandle server = StartReadyChild("--serve", name);
  ScopedHandle answerer = StartReadyChild("--broker-answer", name);
  void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
  double seconds = -1;
  if (server.IsValid() && answerer.IsValid() && host) {
    Reply reply;
    IPC_AddListener(host, &NoteReply, &reply);
    std::vector<char> ping(kPingSize, 'p');
    // The first ping goes to every client; the answer tells B's id.
    int target = IPC_TARGET_ALL;
    double start = 0;
    bool answered = true;
    for (int i = 0; answered && i < kWarmUpRoundTrips + kRoundTrips; ++i) {
      if (i == kWarmUpRoundTrips)
        start = NowSeconds();
      IPC_Send(host, target, ping.data(), static_cast<unsigned>(ping.size()));
      answered = reply.arrived.TimedWait(base::TimeDelta::FromMilliseconds(kRunTimeoutMs));
      target = reply.source;
    }
    if (answered)
      seconds = (NowSeconds() - start) / kRoundTrips;
    IPC_RemoveListener(&NoteReply, nullptr);
  }
  IPC_ShutDown(host);
  EndChild(answerer);
  EndChild(server);
  return seconds;
}

// The direct path: a channel proxy on each side, the pinging end sending the next ping from
// its listener.
class Pinger : public IPC::Channel::Listener {
 public:
  Pinger() : proxy_(nullptr), replies_(0), start_(0), seconds_(-1) {}
  void set_proxy(IPC::ChannelProxy* proxy) { proxy_ = proxy; }
  double seconds() const { return seconds_; }

  void Ping() {
    IPC::Message* ping = new IPC::Message(0, kBenchType, IPC::Message::kPriorityNormal);
    ping->WriteBytes(std::string(kPingSize, 'p').data(), static_cast<int>(kPingSize));
    proxy_->Send(ping);
  }

  bool OnMessageReceived(const IPC::Message& /*message*/) override {
    if (++replies_ == kWarmUpRoundTrips)
      start_ = NowSeconds();
    if (replies_ == kWarmUpRoundTrips + kRoundTrips) {
      seconds_ = (NowSeconds() - start_) / kRoundTrips;
      MessageLoop::current()->Quit();
    } else {
      Ping();
    }
    return true;
  }

 private:
  IPC::ChannelProxy* proxy_;
  int replies_;
  double start_;
  double seconds_;
};

class Echo : public IPC::Channel::Listener {
 public:
  Echo() : proxy_(nullptr) {}
  void set_proxy(IPC::ChannelProxy* proxy) { proxy_ = proxy; }
  bool OnMessageReceived(const IPC::Message& message) override {
    proxy_->Send(new IPC::Message(message));
    return true;
  }
  void OnChannelError() override { MessageLoop::current()->Quit(); }

 private:
  IPC::ChannelProxy* proxy_;
};

int RunProxyAnswerer(const std::string& channel_id, const std::string& ready) {
  WithProxyThreads([&](base::MessageLoopProxy* io) {
    Echo echo;
    IPC::ChannelProxy proxy(channel_id, IPC::Channel::kModeClient, &echo, io);
    echo.set_proxy(&proxy);
    SignalReady(ready);
    RunLoopWithDeadline();
    proxy.CloseWait();
  });
  return 0;
}

double DirectRoundTrip() {
  double seconds = -1;
  WithProxyThreads([&](base::MessageLoopProxy* io) {
    std::string channel_id = NextName("direct");
    Pinger pinger;
    IPC::ChannelProxy proxy(channel_id, IPC::Channel::kModeServer, &pinger, io);
    pinger.set_proxy(&proxy);
    ScopedHandle answerer = StartReadyChild("--proxy-answer", channel_id);
    if (answerer.IsValid()) {
      pinger.Ping();
      RunLoopWithDeadline();
      seconds = pinger.seconds();
    }
    proxy.CloseWait();
    WaitFor(answerer);
  });
  return seconds;
}

void PrintLatency() {
  printf("\nRound trip of a %u-byte message, median of %d runs of %d: client A to client B\n"
         "through the server and back, against a direct channel ping-pong\n\n",
         static_cast<unsigned>(kPingSize), kRepetitions, kRoundTrips);
  printf("| path | direct (us) | relayed (us) | relayed/direct |\n|---|---|---|---|\n");
  std::vector<double> direct, relay;
  for (int i = 0; i < kRepetitions; ++i) {
    direct.push_back(DirectRoundTrip());
    relay.push_back(RelayRoundTrip());
  }
  double direct_seconds = Median(direct), relay_seconds = Median(relay);
  if (direct_seconds <= 0 || relay_seconds <= 0)
    printf("| A to B and back | failed | | |\n");
  else
    printf("| A to B and back | %.1f | %.1f | %.2f x |\n", direct_seconds * 1e6,
           relay_seconds * 1e6, relay_seconds / direct_seconds);
  fflush(stdout);
}

//------------------------------------------------------------------------------------------
// What a forwarding launcher does: connect, send, shut down; against the raw cost beneath
// it, two pipe opens each with one synchronous round trip (query id on the rendezvous,
// then on the worker).

const int kForwards = 30;
const size_t kRequestSize = IPC::Message::kHeaderSize + 4;
const size_t kReplySize = IPC::Message::kHeaderSize + 8;

bool Transfer(bool write, HANDLE pipe, char* data, size_t size) {
  DWORD done = 0;
  BOOL ok = write ? WriteFile(pipe, data, static_cast<DWORD>(size), &done, nullptr)
                  : ReadFile(pipe, data, static_cast<DWORD>(size), &done, nullptr);
  return ok && done == size;
}

// Answers one request per connection, |count| connections, on one pipe instance at a time.
int RunRawAnswerer(const std::string& name, const std::string& ready, int count) {
  std::vector<char> request(kRequestSize), reply(kReplySize, 'r');
  ScopedFileHandle pipe(CreateNamedPipeW(IPC::Channel::PipePath(name).c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                         IPC::Channel::kReadBufferSize,
                                         IPC::Channel::kReadBufferSize, 5000, nullptr));
  SignalReady(ready);
  for (int i = 0; i < count && pipe.IsValid(); ++i) {
    if (!ConnectNamedPipe(pipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
      return 1;
    if (Transfer(false, pipe.Get(), request.data(), request.size()))
      Transfer(true, pipe.Get(), reply.data(), reply.size());
    char byte;
    Transfer(false, pipe.Get(), &byte, 1);  // until the client hangs up
    DisconnectNamedPipe(pipe.Get());
  }
  return 0;
}

double RawForward() {
  std::string name = NextName("raw-forward");
  std::string ready = name + "-ready";
  ScopedHandle event = CreateReadyEvent(ready);
  ScopedHandle answerer = bench::StartSelf("--raw-answer " + name + " " + ready + " " +
                                           std::to_string(2 * kForwards));
  if (!WaitFor(event))
    return -1;
  std::vector<char> request(kRequestSize, 'q'), reply(kReplySize);
  double start = NowSeconds();
  for (int i = 0; i < 2 * kForwards; ++i) {
    ScopedFileHandle pipe;
    for (double until = NowSeconds() + 10; !pipe.IsValid() && NowSeconds() < until;) {
      pipe.Set(CreateFileW(IPC::Channel::PipePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr));
      if (!pipe.IsValid())
        WaitNamedPipeW(IPC::Channel::PipePath(name).c_str(), 1000);
    }
    if (!Transfer(true, pipe.Get(), request.data(), request.size()) ||
        !Transfer(false, pipe.Get(), reply.data(), reply.size()))
      return -1;
  }
  double seconds = (NowSeconds() - start) / kForwards;
  WaitFor(answerer);
  return seconds;
}

double BrokerForward() {
  std::string name = NextName("forward");
  ScopedHandle server = StartReadyChild("--serve", name);
  char message[] = "{\"message_id\":65537,\"content\":\"bench\"}";
  double start = NowSeconds();
  int sent = 0;
  for (int i = 0; i < kForwards; ++i) {
    void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
    sent += host && IPC_Send(host, IPC_TARGET_SERVER, message, sizeof(message));
    IPC_ShutDown(host);
  }
  double seconds = (NowSeconds() - start) / kForwards;
  EndChild(server);
  return sent == kForwards ? seconds : -1;
}

void PrintForward() {
  printf("\nOne forward (connect, send, shut down), median of %d runs of %d, against two pipe\n"
         "opens with one synchronous round trip each, raw\n\n", kRepetitions, kForwards);
  printf("| exchange | raw (ms) | broker (ms) | broker/raw |\n|---|---|---|---|\n");
  std::vector<double> raw, broker;
  for (int i = 0; i < kRepetitions; ++i) {
    raw.push_back(RawForward());
    broker.push_back(BrokerForward());
  }
  double raw_seconds = Median(raw), broker_seconds = Median(broker);
  if (raw_seconds <= 0 || broker_seconds <= 0)
    printf("| forward | failed | | |\n");
  else
    printf("| forward | %.2f | %.2f | %.1f x |\n", raw_seconds * 1e3, broker_seconds * 1e3,
           broker_seconds / raw_seconds);
  fflush(stdout);
}

//------------------------------------------------------------------------------------------
// A burst: ten client processes connect to one server at the same moment.

const int kBurstClients = 10;

int RunBurstClient(const std::string& name, const std::string& go) {
  ScopedHandle event(OpenEventW(SYNCHRONIZE, FALSE, Wide(go).c_str()));
  WaitForSingleObject(event.Get(), kRunTimeoutMs);
  void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
  IPC_ShutDown(host);
  return host ? 0 : 1;
}

int Burst(double* seconds) {
  std::string name = NextName("burst");
  std::string go = name + "-go";
  void* server = IPC_Connect(IPC_MODE_SERVER, name.c_str());
  ScopedHandle event = CreateReadyEvent(go);
  std::vector<ScopedHandle> clients;
  for (int i = 0; i < kBurstClients; ++i)
    clients.push_back(bench::StartSelf("--burst-client " + name + " " + go));
  double start = NowSeconds();
  SetEvent(event.Get());
  int connected = 0;
  for (const ScopedHandle& client : clients) {
    DWORD code = 1;
    if (WaitFor(client) && GetExitCodeProcess(client.Get(), &code) && code == 0)
      ++connected;
  }
  *seconds = NowSeconds() - start;
  IPC_ShutDown(server);
  return connected;
}

void PrintBurst() {
  printf("\n%d client processes connecting to one server at once (connect and shut down)\n\n",
         kBurstClients);
  printf("| run | connected | seconds until all ended |\n|---|---|---|\n");
  for (int i = 0; i < kRepetitions; ++i) {
    double seconds = 0;
    int connected = Burst(&seconds);
    printf("| %d | %d of %d | %.2f |\n", i + 1, connected, kBurstClients, seconds);
    fflush(stdout);
  }
}

//------------------------------------------------------------------------------------------
// The churn soak (support/ipc/churn_soak.h) against the same senders holding their hosts all
// along, with nothing killed or served again.

const unsigned long kSoakMs = 20000;

void PrintSoak() {
  const unsigned long seed = test::ChurnSeed(), ms = test::ChurnMs(kSoakMs);
  printf("\n6 client processes of 3 threads sending 1 B to 1 MiB every way for %lu s, seed %lu\n"
         "(CHURN_SOAK_SEED, CHURN_SOAK_MS): churn against the same senders without it\n\n",
         ms / 1000, seed);
  printf("| run | msg/s held | connects/s | kills | lost | failures | peak committed (MiB) |\n"
         "|---|---|---|---|---|---|---|\n");
  std::vector<std::string> failures;
  for (bool churn : {false, true}) {
    const size_t before = failures.size();
    const test::ChurnFigures figures = test::RunChurnSoak({seed, ms, 6, 3, churn}, &failures);
    const double seconds = std::max(figures.seconds, 1e-3);
    printf("| %s | %.0f | %.2f | %d | %d | %u | %.1f |\n", churn ? "churn" : "baseline",
           figures.delivered / seconds, figures.connects / seconds, figures.kills, figures.lost,
           static_cast<unsigned>(failures.size() - before), figures.peak_committed / 1048576.0);
    fflush(stdout);
  }
  for (const std::string& failure : failures)
    printf("- %s\n", failure.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 5 && mode == "--broker-send")
    return RunBrokerSender(argv[2], strtoul(argv[3], nullptr, 10), atoi(argv[4]));
  if (argc == 5 && mode == "--proxy-send")
    return RunProxySender(argv[2], strtoul(argv[3], nullptr, 10), atoi(argv[4]));
  if (argc == 4 && mode == "--serve")
    return RunServer(argv[2], argv[3]);
  if (argc == 4 && mode == "--broker-answer")
    return RunBrokerAnswerer(argv[2], argv[3]);
  if (argc == 4 && mode == "--proxy-answer")
    return RunProxyAnswerer(argv[2], argv[3]);
  if (argc == 5 && mode == "--raw-answer")
    return RunRawAnswerer(argv[2], argv[3], atoi(argv[4]));
  if (argc == 4 && mode == "--burst-client")
    return RunBurstClient(argv[2], argv[3]);
  // Tables by name, or all of them.
  const struct {
    const char* name;
    void (*print)();
  } kTables[] = {{"throughput", PrintThroughput},
                 {"latency", PrintLatency},
                 {"forward", PrintForward},
                 {"burst", PrintBurst},
                 {"soak", PrintSoak}};
  for (const auto& table : kTables) {
    if (argc == 1 || std::find(argv + 1, argv + argc, std::string(table.name)) != argv + argc)
      table.print();
  }
  return 0;
}
