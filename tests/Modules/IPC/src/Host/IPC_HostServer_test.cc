// The server host, seen from other processes: ids, the routing table, statuses, hostile
// bytes on its pipes, and what many clients leave behind.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IPC_Broker.h"
#include "ipc/ipc_message.h"
#include "support/deadline.h"
#include "base/synchronization/lock.h"
#include "support/background_thread.h"
#include "support/handle_count.h"
#include "support/import_hook.h"
#include "support/ipc/host_peer_process.h"
#include "support/ipc/raw_channel_client.h"
#include "support/ipc/recorded_host.h"
#include "support/process_memory.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"
#include "support/wire_bytes.h"

namespace {

using host_peer::MessageLine;
using host_peer::StatusLine;
using test::HostPeer;
using test::kQueryIdType;
using test::kRequestServiceType;
using test::kRoutingType;
using test::RecordedHost;

const unsigned long kWaitMs = test::kDeadlineMs;

// The line a receiver logs for |text| from |source|; |slot| numbers the hosts of a peer.
std::string Received(int source, const std::string& text, int slot = 0) {
  return MessageLine(slot, source, text.data(), static_cast<unsigned>(text.size()));
}

// A process holding client hosts of one server, and their ids by slot.
struct ClientPeer {
  HostPeer process;
  std::vector<int> ids;

  bool Start(const std::string& name, int hosts) {
    if (!process.Start())
      return false;
    for (int slot = 0; slot < hosts; ++slot) {
      int id = 0;
      if (!process.Connect(IPC_MODE_CLIENT, name, &id))
        return false;
      ids.push_back(id);
    }
    return true;
  }
  int pid() const { return static_cast<int>(process.pid()); }
};

// A server host of the test's own process under a name of the test's own.
class IPC_HostServerTest : public testing::Test {
 protected:
  IPC_HostServerTest() : name_(test::UniqueName("server-")), server_(IPC_MODE_SERVER, name_) {}
  void SetUp() override { ASSERT_TRUE(server_.handle()); }

  const std::string name_;
  RecordedHost server_;
};

TEST(IPC_HostServerIdTest, FirstServerOfAProcessIsItsPidPlus10000AndClientsGetTheNextIds) {
  std::string name = test::UniqueName("ids-");
  HostPeer server;
  ASSERT_TRUE(server.Start());
  int server_id = 0;
  ASSERT_TRUE(server.Connect(IPC_MODE_SERVER, name, &server_id));
  EXPECT_EQ(static_cast<int>(server.pid()) + 10000, server_id);
  const int pid = static_cast<int>(GetCurrentProcessId());
  for (int n = 1; n <= 2; ++n) {
    RecordedHost client(IPC_MODE_CLIENT, name);
    EXPECT_EQ(server_id + n, client.id());
    EXPECT_TRUE(server.WaitFor(StatusLine(0, IPC_STATUS_CONNECTED, client.id(), pid, 0)));
  }
}

// Who sends what to whom, and who must see it: "S" is the server of the test's process,
// "A", "B" and "C" are client hosts of another process (slots 0, 1 and 2 there).
struct Route {
  char sender;
  char target;  // a participant, '*' for every client, '0' for 10000, 'x' for a departed id
  const char* text;
  const char* receivers;
};

const Route kRoutes[] = {
    {'A', '0', "a-to-10000", "S"},     {'A', 'S', "a-to-server-id", "S"},
    {'A', '*', "a-to-all", "BC"},      {'A', 'B', "a-to-b", "B"},
    {'C', 'A', "c-to-a", "A"},         {'A', 'A', "a-to-itself", ""},
    {'S', '*', "s-to-all", "ABC"},     {'S', 'C', "s-to-c", "C"},
    {'S', '0', "s-to-10000", ""},      {'A', 'x', "a-to-departed", ""},
    {'S', 'x', "s-to-departed", ""},
};

int SlotOf(char client) {
  return client - 'A';
}

TEST_F(IPC_HostServerTest, RoutesEveryRowOfTheTableAndNothingElse) {
  // A fourth host, D, leaves before any row runs: its id is the departed one.
  ClientPeer clients;
  ASSERT_TRUE(clients.Start(name_, 4));
  const int departed = clients.ids[3];
  EXPECT_EQ("1 ", clients.process.Ask("shutdown 3").substr(0, 2));
  ASSERT_TRUE(server_.WaitFor(StatusLine(0, IPC_STATUS_ERROR, departed, clients.pid(), 0),
                              kWaitMs));

  auto id_of = [&](char participant) {
    switch (participant) {
      case '*': return static_cast<int>(IPC_TARGET_ALL);
      case '0': return static_cast<int>(IPC_TARGET_SERVER);
      case 'x': return departed;
      case 'S': return server_.id();
      default: return clients.ids[SlotOf(participant)];
    }
  };
  std::vector<std::string> expected_by_server, expected_by_clients;
  for (const Route& route : kRoutes) {
    const int source = id_of(route.sender), target = id_of(route.target);
    if (route.sender == 'S')
      EXPECT_TRUE(server_.Send(target, route.text)) << route.text;
    else
      EXPECT_EQ("1", clients.process.Ask("send " + std::to_string(SlotOf(route.sender)) + " " +
                                         std::to_string(target) + " " + route.text));
    for (const char* receiver = route.receivers; *receiver; ++receiver) {
      if (*receiver == 'S') {
        expected_by_server.push_back(Received(source, route.text));
        EXPECT_TRUE(server_.WaitFor(expected_by_server.back(), kWaitMs)) << route.text;
      } else {
        expected_by_clients.push_back(Received(source, route.text, SlotOf(*receiver)));
        EXPECT_TRUE(clients.process.WaitFor(expected_by_clients.back())) << route.text;
      }
    }
  }
  // A last message on every path: what was wrongly routed before has arrived by then.
  EXPECT_TRUE(server_.Send(IPC_TARGET_ALL, "fence"));
  for (char client : {'A', 'B', 'C'}) {
    expected_by_clients.push_back(Received(server_.id(), "fence", SlotOf(client)));
    EXPECT_TRUE(clients.process.WaitFor(expected_by_clients.back()));
    EXPECT_EQ("1", clients.process.Ask("send " + std::to_string(SlotOf(client)) + " 10000 fence"));
    expected_by_server.push_back(Received(id_of(client), "fence"));
    EXPECT_TRUE(server_.WaitFor(expected_by_server.back(), kWaitMs));
  }
  std::vector<std::string> got = clients.process.Lines("message ");
  std::sort(got.begin(), got.end());
  std::sort(expected_by_clients.begin(), expected_by_clients.end());
  EXPECT_EQ(expected_by_clients, got);
  EXPECT_EQ(expected_by_server, server_.Lines("message "));
}

TEST_F(IPC_HostServerTest, ReportsConnectAndExitAndClosesTheWorkerASecondLater) {
  HostPeer client;
  ASSERT_TRUE(client.Start());
  const int handles_before = test::CountOpenHandles();
  int client_id = 0;
  ASSERT_TRUE(client.Connect(IPC_MODE_CLIENT, name_, &client_id));
  const int pid = static_cast<int>(client.pid());
  EXPECT_TRUE(server_.WaitFor(StatusLine(0, IPC_STATUS_CONNECTED, client_id, pid, 0), kWaitMs));
  client.Kill();
  EXPECT_TRUE(server_.WaitFor(StatusLine(0, IPC_STATUS_ERROR, client_id, pid, 0), kWaitMs));
  // The departed client's worker is the only one that goes; a fresh one took its place.
  EXPECT_TRUE(test::WaitUntil([&] { return test::CountOpenHandles() <= handles_before; }, kWaitMs))
      << handles_before << " handles before, " << test::CountOpenHandles() << " after";
  EXPECT_EQ(2u, server_.Lines("status ").size());
}

TEST(IPC_HostServerGreetingTest, GreetingOnConnectReachesEveryClientAndNoConnectFails) {
  const int kClients = 20;
  std::string name = test::UniqueName("greeting-");
  HostPeer server;
  int server_id = 0;
  ASSERT_TRUE(server.Start() && server.Connect(IPC_MODE_SERVER, name, &server_id));
  ASSERT_EQ("1", server.Ask("greet 0 welcome"));
  int greeted = 0;
  for (int i = 0; i < kClients; ++i) {
    RecordedHost client(IPC_MODE_CLIENT, name);
    ASSERT_TRUE(client.handle()) << "connect " << i << " failed";
    greeted += client.WaitFor(Received(server_id, "welcome"), kWaitMs);
    EXPECT_TRUE(client.ShutDown());
  }
  EXPECT_EQ(kClients, greeted);
}

TEST_F(IPC_HostServerTest, DepartureWhileAnotherClientBroadcastsIsReportedOnce) {
  ClientPeer leaving, broadcasting;
  ASSERT_TRUE(leaving.Start(name_, 1));
  ASSERT_TRUE(broadcasting.Start(name_, 1));
  ASSERT_TRUE(broadcasting.process.Command("flood 0 -1 200 5"));
  ASSERT_TRUE(leaving.process.WaitFor(Received(broadcasting.ids[0], "flood")));
  leaving.process.Kill();
  EXPECT_EQ("200", broadcasting.process.Take("flood"));
  // Fence: everything the flood made the server do has been done.
  EXPECT_EQ("1", broadcasting.process.Ask("send 0 10000 fence"));
  ASSERT_TRUE(server_.WaitFor(Received(broadcasting.ids[0], "fence"), kWaitMs));
  EXPECT_EQ(1u, server_.Lines(StatusLine(0, IPC_STATUS_ERROR, leaving.ids[0], leaving.pid(), 0))
                    .size());
  EXPECT_TRUE(server_.Lines(StatusLine(0, IPC_STATUS_ERROR, broadcasting.ids[0],
                                       broadcasting.pid(), 0)).empty());
}

// Hostile bytes: a hand-written client says what no broker would, on the rendezvous and on a
// worker channel, while a well-behaved client goes on being served.
std::string HelloFree(uint32_t type, uint32_t flags, const test::Bytes& payload) {
  test::Bytes message = test::Concat(
      test::MessageHeaderBytes(static_cast<uint32_t>(payload.size()),
                               IPC::Message::kRoutingControl, type, flags),
      payload);
  return std::string(message.begin(), message.end());
}

test::Bytes Ints(std::initializer_list<int32_t> values) {
  test::Bytes bytes;
  for (int32_t value : values)
    bytes = test::Concat(bytes, test::WireBytes(&value, sizeof(value)));
  return bytes;
}

test::Bytes Chars(const char* text, size_t padded_size) {
  test::Bytes bytes(padded_size, 0);
  memcpy(bytes.data(), text, strlen(text));
  return bytes;
}

const uint32_t kNormal = IPC::Message::kPriorityNormal;
const uint32_t kSync = IPC::Message::kSyncBit | IPC::Message::kUnblockBit | kNormal;

struct HostileInput {
  const char* what;
  std::string bytes;
};

std::vector<HostileInput> RendezvousInputs() {
  return {
      {"an unsolicited reply", HelloFree(IPC::Message::kReplyType,
                                         IPC::Message::kReplyBit | kNormal, Ints({7, 1}))},
      {"a query without its sync bit", HelloFree(kQueryIdType, kNormal, {})},
      {"a service request without its sync header", HelloFree(kRequestServiceType, kSync, {})},
      {"a routing message on the rendezvous", HelloFree(kRoutingType, kNormal, Ints({10000}))},
      {"a message of a type nobody knows", HelloFree(4242, kNormal, Ints({1, 2, 3}))},
      {"a payload cut short", HelloFree(kQueryIdType, kSync, Ints({1, 2})).substr(0, 20)},
      {"a header past the size limit", std::string(64, '\xff')},
  };
}

std::vector<HostileInput> WorkerInputs() {
  return {
      {"routing: peer id only", HelloFree(kRoutingType, kNormal, Ints({10000}))},
      {"routing: negative length", HelloFree(kRoutingType, kNormal, Ints({10000, -5, 0, 0, -1}))},
      {"routing: length past the end",
       HelloFree(kRoutingType, kNormal, Ints({10000, 0x7fffffff, 0, -1}))},
      {"routing: data cut short", HelloFree(kRoutingType, kNormal, Ints({10000, 8, 0x41414141}))},
      {"routing: empty data", HelloFree(kRoutingType, kNormal, Ints({10000, 0, 0, -1}))},
      {"routing: a tag other than -1",
       HelloFree(kRoutingType, kNormal, test::Concat(Ints({10000, 4}),
                                                     test::Concat(Chars("tag5", 4), Ints({0, 5}))))},
      {"routing: no tag", HelloFree(kRoutingType, kNormal,
                                    test::Concat(Ints({10000, 4}), Chars("none", 4)))},
      {"a service request on a worker", HelloFree(kRequestServiceType, kSync, Ints({99}))},
      {"a query without its sync header", HelloFree(kQueryIdType, kSync, {})},
  };
}

// A routing message to the server carrying |text|, byte by byte as a broker client writes it.
std::string RoutingToServer(int target, const char* text, size_t padded_size) {
  return HelloFree(kRoutingType, kNormal,
                   test::Concat(Ints({target, static_cast<int32_t>(strlen(text))}),
                                test::Concat(Chars(text, padded_size), Ints({0, -1}))));
}

int32_t IntAt(const std::string& message, size_t payload_offset) {
  int32_t value = 0;
  memcpy(&value, message.data() + IPC::Message::kHeaderSize + payload_offset, sizeof(value));
  return value;
}

// The well-behaved client of another process still reaches the server, and the rendezvous
// still answers.
void ExpectStillServing(RecordedHost* server, ClientPeer* steady, const std::string& name,
                        const std::string& after) {
  std::string text = "served-after-" + std::to_string(server->Lines().size());
  EXPECT_EQ("1", steady->process.Ask("send 0 10000 " + text)) << after;
  EXPECT_TRUE(server->WaitFor(Received(steady->ids[0], text), kWaitMs)) << after;
  test::RawChannelClient newcomer;
  std::string reply;
  EXPECT_TRUE(test::WaitUntil([&] { return newcomer.Open(name); }, kWaitMs)) << after;
  EXPECT_TRUE(newcomer.Ask(kQueryIdType, &reply, kWaitMs)) << after;
  EXPECT_EQ(server->id(), IntAt(reply, 4)) << after;
}

// The raw client is of the test's process, the well-behaved one of another.
TEST_F(IPC_HostServerTest, HostileClientsOnTheRendezvousAndOnAWorkerLeaveTheServerServing) {
  ClientPeer steady;
  ASSERT_TRUE(steady.Start(name_, 1));
  const int pid = static_cast<int>(GetCurrentProcessId());
  for (const HostileInput& input : RendezvousInputs()) {
    test::RawChannelClient raw;
    ASSERT_TRUE(test::WaitUntil([&] { return raw.Open(name_); }, kWaitMs)) << input.what;
    EXPECT_TRUE(raw.WriteBytes(input.bytes)) << input.what;
    raw.Close();
    ExpectStillServing(&server_, &steady, name_, input.what);
  }

  test::RawChannelClient rendezvous, worker;
  std::string reply;
  ASSERT_TRUE(test::WaitUntil([&] { return rendezvous.Open(name_); }, kWaitMs));
  std::string worker_name;
  ASSERT_TRUE(rendezvous.RequestWorker(&worker_name, kWaitMs));
  rendezvous.Close();
  ASSERT_TRUE(worker.Open(worker_name));
  ASSERT_TRUE(worker.Ask(kQueryIdType, &reply, kWaitMs));
  const int raw_id = IntAt(reply, 4);
  EXPECT_GT(raw_id, steady.ids[0]);
  EXPECT_TRUE(server_.WaitFor(StatusLine(0, IPC_STATUS_CONNECTED, raw_id, pid, 0), kWaitMs));

  // The routing payload as a broker client writes it reaches the server's listeners...
  ASSERT_TRUE(worker.WriteBytes(RoutingToServer(IPC_TARGET_SERVER, "raw-hello", 12)));
  EXPECT_TRUE(server_.WaitFor(Received(raw_id, "raw-hello"), kWaitMs));
  // ...and what the server sends arrives exactly so.
  ASSERT_TRUE(server_.Send(raw_id, "to-raw"));
  std::string message;
  ASSERT_TRUE(worker.Read(&message, kWaitMs));
  EXPECT_EQ(HelloFree(kRoutingType, kNormal, test::Concat(Ints({server_.id(), 6}),
                                                          test::Concat(Chars("to-raw", 8),
                                                                       Ints({0, -1})))),
            message);
  // A client reaches another one through the worker with its own id as the source.
  ASSERT_TRUE(worker.WriteBytes(RoutingToServer(steady.ids[0], "raw-to-steady", 16)));
  EXPECT_TRUE(steady.process.WaitFor(Received(raw_id, "raw-to-steady")));

  for (const HostileInput& input : WorkerInputs()) {
    EXPECT_TRUE(worker.WriteBytes(input.bytes)) << input.what;
    ExpectStillServing(&server_, &steady, name_, input.what);
  }
  ASSERT_TRUE(worker.WriteBytes(RoutingToServer(IPC_TARGET_SERVER, "raw-fence", 12)));
  EXPECT_TRUE(server_.WaitFor(Received(raw_id, "raw-fence"), kWaitMs));
  EXPECT_EQ(std::vector<std::string>({Received(raw_id, "raw-hello"), Received(raw_id, "raw-fence")}),
            server_.Lines("message 0 " + std::to_string(raw_id) + " "));

  // A header announcing more than will ever come holds the worker until its client goes.
  EXPECT_TRUE(worker.WriteBytes(std::string(64, '\xff')));
  ExpectStillServing(&server_, &steady, name_, "a huge header on the worker");
  worker.Close();
  EXPECT_TRUE(server_.WaitFor(StatusLine(0, IPC_STATUS_ERROR, raw_id, pid, 0), kWaitMs));
}

TEST_F(IPC_HostServerTest, ClientsGoneMidConnectLeaveTheServerServingAndNothingBehind) {
  HostPeer silent;
  ASSERT_TRUE(silent.Start());
  ASSERT_EQ("1", silent.Ask("open-pipe " + name_));
  silent.Kill();
  ClientPeer next;
  ASSERT_TRUE(next.Start(name_, 1));
  EXPECT_GT(next.ids[0], server_.id());
  // A client that got its worker and never came to it: the worker goes once the client's
  // connect budget is spent.
  const int handles_before = test::CountOpenHandles();
  {
    test::RawChannelClient vanishing;
    std::string worker_name;
    ASSERT_TRUE(test::WaitUntil([&] { return vanishing.Open(name_); }, kWaitMs));
    ASSERT_TRUE(vanishing.RequestWorker(&worker_name, kWaitMs));
  }
  EXPECT_TRUE(test::WaitUntil([&] { return test::CountOpenHandles() <= handles_before; }, kWaitMs))
      << handles_before << " before, " << test::CountOpenHandles() << " after";
}

TEST_F(IPC_HostServerTest, TwoHundredClientCyclesLeaveBothProcessesAsTheyWere) {
  const int kCycles = 200;
  HostPeer client;
  ASSERT_TRUE(client.Start());
  const int server_before = test::CountOpenHandles();
  // One cycle first, so that what the runtimes create once is there before counting.
  ASSERT_EQ("1", client.Ask("cycle " + name_ + " 1"));
  std::string client_before = client.Ask("handles");
  ASSERT_TRUE(test::WaitUntil([&] { return test::CountOpenHandles() <= server_before; }, kWaitMs))
      << server_before << " before, " << test::CountOpenHandles() << " after one cycle";

  EXPECT_EQ(std::to_string(kCycles),
            client.Ask("cycle " + name_ + " " + std::to_string(kCycles), 200000));
  EXPECT_LE(std::stoi(client.Ask("handles")),
            std::stoi(client_before) + test::kHandlesCreatedOnce);
  EXPECT_TRUE(test::WaitUntil(
      [&] { return test::CountOpenHandles() <= server_before + test::kHandlesCreatedOnce; },
      kWaitMs))
      << server_before << " before, " << test::CountOpenHandles() << " after the cycles";
  EXPECT_EQ(static_cast<size_t>(kCycles + 1), server_.Lines("message ").size());
  EXPECT_EQ(static_cast<size_t>(kCycles + 1),
            server_.Lines("status 0 " + std::to_string(IPC_STATUS_ERROR) + " ").size());
}

// Local peers that misbehave without a wrong byte: they hold a pipe and say nothing, stop
// reading, take a pipe meant for another, or take the rendezvous name itself.

// The server's limits: how long a rendezvous connection may stay, and how many bytes may
// wait for a client that reads nothing. A connect may take the first plus this margin.
const unsigned long kRendezvousDeadlineMs = 2000;
const unsigned long kConnectMarginMs = 3000;
const size_t kQueueBound = 64u << 20;

// "connect <slot> <id> <ms>": the connect time, or -1 when it failed.
long ConnectMs(HostPeer* peer, const std::string& name) {
  int slot = -1, id = 0;
  long ms = -1;
  const std::string reply = peer->Ask("connect 2 " + name);
  return sscanf(reply.c_str(), "%d %d %ld", &slot, &id, &ms) == 3 && slot >= 0 ? ms : -1;
}

TEST_F(IPC_HostServerTest, ASilentRendezvousHolderDelaysClientsByItsDeadlineAtMost) {
  HostPeer holder, clients;
  ASSERT_TRUE(holder.Start() && clients.Start());
  ASSERT_EQ("1", holder.Ask("open-pipe " + name_));
  for (int client = 0; client < 2; ++client) {
    const long ms = ConnectMs(&clients, name_);
    EXPECT_GE(ms, 0) << "client " << client;
    EXPECT_LE(ms, static_cast<long>(test::ScaledMs(kRendezvousDeadlineMs + kConnectMarginMs)))
        << "client " << client;
  }
}

TEST_F(IPC_HostServerTest, AFrozenReaderIsDroppedOnceAtTheQueueBoundWhileAnotherGoesOn) {
  const int kBroadcasts = 128;  // twice the bound, in MiB
  ClientPeer steady;
  HostPeer frozen;
  ASSERT_TRUE(steady.Start(name_, 1) && frozen.Start());
  const int frozen_id = atoi(frozen.Ask("hold-worker " + name_).c_str());
  ASSERT_GT(frozen_id, 0);
  const std::string dropped =
      StatusLine(0, IPC_STATUS_ERROR, frozen_id, static_cast<int>(frozen.pid()), 0);
  const size_t before = test::CommittedBytes();
  size_t peak = before;
  const std::string mebibyte = host_peer::Pattern(1 << 20);
  const std::string broadcast = Received(server_.id(), mebibyte);
  for (int n = 0; n < kBroadcasts; ++n) {
    ASSERT_TRUE(server_.Send(IPC_TARGET_ALL, mebibyte));
    // The steady client has read the broadcast before it answers the exchange.
    const std::string text = "steady-" + std::to_string(n);
    ASSERT_TRUE(server_.Send(steady.ids[0], text));
    ASSERT_TRUE(steady.process.WaitFor(Received(server_.id(), text))) << text;
    ASSERT_EQ("1", steady.process.Ask("send 0 10000 " + text));
    ASSERT_TRUE(server_.WaitFor(Received(steady.ids[0], text), kWaitMs)) << text;
    peak = std::max(peak, test::CommittedBytes());
  }
  printf("committed: %zu MiB before, %zu MiB at the peak of %d MiB broadcast\n", before >> 20,
         peak >> 20, kBroadcasts);
  EXPECT_LT(peak - before, kQueueBound + (kQueueBound / 2));
  EXPECT_EQ(static_cast<size_t>(kBroadcasts), steady.process.Lines(broadcast).size());
  EXPECT_EQ(1u, server_.Lines(dropped).size());
}

// The other host's shutdown waits the writing budget out for its frozen reader; clients
// of this process's first server connect and are served meanwhile.
TEST_F(IPC_HostServerTest, AShutDownWaitingOnAFrozenReaderHoldsUpNoOtherHostOfTheProcess) {
  const std::string other_name = test::UniqueName("frozen-reader-");
  void* other = IPC_Connect(IPC_MODE_SERVER, other_name.c_str());
  ASSERT_TRUE(other);
  HostPeer frozen;
  ASSERT_TRUE(frozen.Start());
  const int frozen_id = atoi(frozen.Ask("hold-worker " + other_name).c_str());
  ASSERT_GT(frozen_id, 0);
  std::string eight_mib(8 << 20, 'f');
  ASSERT_TRUE(IPC_Send(other, frozen_id, &eight_mib[0], static_cast<unsigned>(eight_mib.size())));
  std::atomic<bool> shut_down{false};
  test::BackgroundThread closer([&] {
    EXPECT_FALSE(IPC_ShutDown(other)) << "its reader read nothing";
    shut_down = true;
  });
  ASSERT_TRUE(test::WaitUntil([&] { return IPC_GetCommunicationID(other) == 0; }, kWaitMs));

  ClientPeer clients;
  ASSERT_TRUE(clients.Start(name_, 3));
  const std::string text = "served-meanwhile";
  ASSERT_TRUE(server_.Send(clients.ids[2], text));
  EXPECT_TRUE(clients.process.WaitFor(Received(server_.id(), text, 2)));
  EXPECT_FALSE(shut_down) << "everything above happened while the other host closed";
  EXPECT_TRUE(closer.Join());
}

TEST_F(IPC_HostServerTest, ARendezvousNameTakenDuringARestartIsServedAgainOnceFreed) {
  HostPeer squatter;
  ASSERT_TRUE(squatter.Start());
  ASSERT_EQ("1", squatter.Ask("squat " + name_, 30000)) << "never won the name";
  ASSERT_EQ("1", squatter.Ask("unsquat"));
  ClientPeer next;
  ASSERT_TRUE(next.Start(name_, 1));
  EXPECT_TRUE(server_.WaitFor(StatusLine(0, IPC_STATUS_CONNECTED, next.ids[0], next.pid(), 0),
                              kWaitMs));
}

// Every server pipe this process asks the system for, while it lives.
struct CreatedPipe {
  std::wstring path;
  DWORD mode;
};

class PipeRecorder {
 public:
  PipeRecorder()
      : hook_("kernel32.dll", "CreateNamedPipeW", reinterpret_cast<void*>(&Record)) {
    create_ = reinterpret_cast<decltype(&CreateNamedPipeW)>(hook_.original());
    base::AutoLock hold(lock_);
    pipes_.clear();
  }
  bool installed() const { return hook_.installed(); }

  // Waits for |count| pipes in all.
  std::vector<CreatedPipe> WaitForPipes(size_t count) {
    test::WaitUntil([count] { return Pipes().size() >= count; }, kWaitMs);
    return Pipes();
  }

 private:
  static std::vector<CreatedPipe> Pipes() {
    base::AutoLock hold(lock_);
    return pipes_;
  }

  static HANDLE WINAPI Record(LPCWSTR path, DWORD open_mode, DWORD pipe_mode, DWORD instances,
                              DWORD out_size, DWORD in_size, DWORD timeout_ms,
                              LPSECURITY_ATTRIBUTES security) {
    {
      base::AutoLock hold(lock_);
      pipes_.push_back({path, pipe_mode});
    }
    return create_(path, open_mode, pipe_mode, instances, out_size, in_size, timeout_ms,
                   security);
  }

  test::ImportHook hook_;
  static decltype(&CreateNamedPipeW) create_;
  static base::Lock lock_;
  static std::vector<CreatedPipe> pipes_;  // guarded by lock_
};

decltype(&CreateNamedPipeW) PipeRecorder::create_ = nullptr;
base::Lock PipeRecorder::lock_;
std::vector<CreatedPipe> PipeRecorder::pipes_;

TEST(IPC_HostServerPipeTest, RendezvousAndWorkerPipesRejectRemoteClients) {
  PipeRecorder recorder;
  ASSERT_TRUE(recorder.installed());
  const std::string name = test::UniqueName("local-");
  RecordedHost server(IPC_MODE_SERVER, name);
  ClientPeer client;
  ASSERT_TRUE(client.Start(name, 1));
  // The rendezvous, the first worker, the next one and the rendezvous reopened.
  const std::vector<CreatedPipe> pipes = recorder.WaitForPipes(4);
  EXPECT_GE(pipes.size(), 4u);
  for (const CreatedPipe& pipe : pipes) {
    EXPECT_EQ(static_cast<DWORD>(PIPE_REJECT_REMOTE_CLIENTS),
              pipe.mode & PIPE_REJECT_REMOTE_CLIENTS);
  }
}

TEST(IPC_HostServerPipeTest, AStrangerOnThePreparedWorkerIsNotReportedAndTheNextClientConnects) {
  PipeRecorder recorder;
  ASSERT_TRUE(recorder.installed());
  const std::string name = test::UniqueName("poisoned-");
  RecordedHost server(IPC_MODE_SERVER, name);
  // The rendezvous and the prepared worker, whose path any lister of pipes could find.
  const std::vector<CreatedPipe> pipes = recorder.WaitForPipes(2);
  ASSERT_EQ(2u, pipes.size());
  HostPeer stranger;
  ASSERT_TRUE(stranger.Start());
  EXPECT_EQ("1", stranger.Ask("poison " + std::string(pipes[1].path.begin(), pipes[1].path.end())));
  ClientPeer next;
  ASSERT_TRUE(next.Start(name, 1));
  EXPECT_TRUE(server.WaitFor(StatusLine(0, IPC_STATUS_CONNECTED, next.ids[0], next.pid(), 0),
                             kWaitMs));
  EXPECT_EQ(1u, server.Lines("status ").size()) << "nobody but the client is reported";
}

}  // namespace
