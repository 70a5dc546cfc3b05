// The exported functions and the host registry behind them: argument checks, handles,
// the id form of IPC_Send and the rules of listener and status callbacks.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IPC_Broker.h"
#include "base/bind.h"
#include "base/location.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "Thread/IPC_ThreadEnviroment.h"
#include "ipc/internal/ipc_channel_win.h"
#include "ipc/ipc_channel.h"
#include "support/background_thread.h"
#include "support/deadline.h"
#include "support/ipc/host_peer_process.h"
#include "support/ipc/recorded_host.h"
#include "support/raw_pipe.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace {

using host_peer::MessageLine;
using host_peer::StatusLine;
using test::HostPeer;
using test::RecordedHost;

const unsigned long kWaitMs = test::kDeadlineMs;

std::string Received(int source, const std::string& text) {
  return MessageLine(0, source, text.data(), static_cast<unsigned>(text.size()));
}

TEST(IPC_ExportsTest, ConnectRefusesBadArguments) {
  const struct {
    int mode;
    const char* name;
  } kRows[] = {{0, "bad-mode"}, {3, "bad-mode"}, {-1, "bad-mode"}, {1, nullptr}, {2, nullptr}};
  for (const auto& row : kRows)
    EXPECT_EQ(nullptr, IPC_Connect(static_cast<Mode>(row.mode), row.name)) << row.mode;
  // Nothing was made: the id form of IPC_Send finds no host.
  char byte = 'x';
  EXPECT_FALSE(IPC_Send(IPC_TARGET_ALL, &byte, 1));
}

TEST(IPC_ExportsTest, EveryFunctionRejectsAHandleThatIsNotRegistered) {
  void* shut_down = IPC_Connect(IPC_MODE_SERVER, test::UniqueName("gone-").c_str());
  ASSERT_TRUE(shut_down);
  ASSERT_TRUE(IPC_ShutDown(shut_down));
  int not_a_host = 0;
  char byte = 'x';
  for (void* handle : {static_cast<void*>(nullptr), static_cast<void*>(&not_a_host), shut_down}) {
    EXPECT_FALSE(IPC_Send(handle, IPC_TARGET_SERVER, &byte, 1));
    EXPECT_FALSE(IPC_ShutDown(handle));
    EXPECT_EQ(-1, IPC_AddListener(handle, [](void*, int, void*, unsigned) { return true; },
                                  nullptr));
    EXPECT_EQ(-1, IPC_AddStatusCallback(handle, [](void*, void*, Status, int, int) {}, nullptr));
    EXPECT_EQ(0, IPC_GetCommunicationID(handle));
  }
  EXPECT_FALSE(IPC_Send(IPC_TARGET_ALL, &byte, 1)) << "the last host is gone";
}

TEST(IPC_ExportsTest, ServerNameIsSharedByServersAndRefusedToClientsOfTheSameProcess) {
  std::string name = test::UniqueName("shared-");
  void* first = IPC_Connect(IPC_MODE_SERVER, name.c_str());
  ASSERT_TRUE(first);
  EXPECT_EQ(first, IPC_Connect(IPC_MODE_SERVER, name.c_str()));
  EXPECT_EQ(nullptr, IPC_Connect(IPC_MODE_CLIENT, name.c_str()));
  // A name served by another process cannot be served here.
  HostPeer other;
  int other_id = 0;
  ASSERT_TRUE(other.Start());
  std::string elsewhere = test::UniqueName("elsewhere-");
  ASSERT_TRUE(other.Connect(IPC_MODE_SERVER, elsewhere, &other_id));
  EXPECT_EQ(nullptr, IPC_Connect(IPC_MODE_SERVER, elsewhere.c_str()));
  EXPECT_TRUE(IPC_ShutDown(first));
  EXPECT_FALSE(IPC_ShutDown(first)) << "one shutdown ends the host for both callers";
}

TEST(IPC_ExportsTest, ServerConnectIsNullWheneverItsPipeCannotBeCreated) {
  const std::string held = test::UniqueName("held-");
  int32_t secret = 0;
  test::RawPipe foreign;
  ASSERT_TRUE(foreign.Listen(IPC::Channel::ChannelImpl::PipeNameFor(held, &secret)));
  const struct {
    const char* what;
    std::string name;
  } kRows[] = {{"a name whose pipe another program holds", held},
               {"a name past the system's length limit", std::string(400, 'n')}};
  for (const auto& row : kRows)
    EXPECT_EQ(nullptr, IPC_Connect(IPC_MODE_SERVER, row.name.c_str())) << row.what;
  char byte = 'x';
  EXPECT_FALSE(IPC_Send(IPC_TARGET_ALL, &byte, 1)) << "no host serves nothing";
}

TEST(IPC_ExportsTest, TwoThreadsServeAndShutDownANameOfTheirOwnAgainAndAgain) {
  const int kRounds = 150;
  std::atomic<int> refused(0);
  auto serve = [&refused](const std::string& name) {
    for (int round = 0; round < kRounds; ++round) {
      void* host = IPC_Connect(IPC_MODE_SERVER, name.c_str());
      if (!host || !IPC_ShutDown(host))
        ++refused;
    }
  };
  const std::string first = test::UniqueName("again-"), second = test::UniqueName("again-");
  test::BackgroundThread one([&] { serve(first); }), other([&] { serve(second); });
  ASSERT_TRUE(one.Join() && other.Join());
  EXPECT_EQ(0, refused.load()) << "of " << 2 * kRounds;
}

TEST(IPC_ExportsTest, EmptyServerNameServesAGeneratedPipeAndClientsGetConsecutiveIds) {
  void* unnamed = IPC_Connect(IPC_MODE_SERVER, "");
  EXPECT_TRUE(unnamed);
  std::string name = test::UniqueName("two-clients-");
  RecordedHost server(IPC_MODE_SERVER, name);
  HostPeer first, second;
  int first_id = 0, second_id = 0;
  ASSERT_TRUE(first.Start() && first.Connect(IPC_MODE_CLIENT, name, &first_id));
  ASSERT_TRUE(second.Start() && second.Connect(IPC_MODE_CLIENT, name, &second_id));
  EXPECT_EQ(server.id() + 1, first_id);
  EXPECT_EQ(server.id() + 2, second_id);
  EXPECT_TRUE(IPC_ShutDown(unnamed));
}

TEST(IPC_ExportsTest, SendRefusesEmptyNullAndOversizedMessages) {
  std::string name = test::UniqueName("send-checks-");
  HostPeer server;
  int server_id = 0;
  ASSERT_TRUE(server.Start() && server.Connect(IPC_MODE_SERVER, name, &server_id));
  RecordedHost client(IPC_MODE_CLIENT, name);
  ASSERT_TRUE(client.handle());
  // Reserved, not touched: a sound check refuses before reading a byte.
  const size_t kOverLimit = IPC::Channel::kMaximumMessageSize;
  void* huge = VirtualAlloc(nullptr, kOverLimit, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_TRUE(huge);
  char byte = 'x';
  const struct {
    void* data;
    unsigned size;
  } kRows[] = {{&byte, 0}, {nullptr, 1}, {huge, static_cast<unsigned>(kOverLimit)}};
  for (const auto& row : kRows) {
    EXPECT_FALSE(IPC_Send(client.handle(), IPC_TARGET_SERVER, row.data, row.size)) << row.size;
    EXPECT_FALSE(IPC_Send(IPC_TARGET_SERVER, row.data, row.size)) << row.size;
  }
  VirtualFree(huge, 0, MEM_RELEASE);
  EXPECT_TRUE(client.Send(IPC_TARGET_SERVER, "fits"));
  EXPECT_TRUE(server.WaitFor(Received(client.id(), "fits")));
  EXPECT_EQ(1u, server.Lines("message ").size());
}

// The test's process serves one name and is a client of another that the peer serves; the
// peer is also a client of the test's name.
TEST(IPC_ExportsTest, IdFormSendsThroughEveryHostTheTargetReaches) {
  std::string served_here = test::UniqueName("id-form-here-");
  std::string served_there = test::UniqueName("id-form-there-");
  RecordedHost server(IPC_MODE_SERVER, served_here);
  HostPeer peer;
  int peer_client_id = 0, peer_server_id = 0;
  ASSERT_TRUE(peer.Start());
  ASSERT_TRUE(peer.Connect(IPC_MODE_CLIENT, served_here, &peer_client_id));
  ASSERT_TRUE(peer.Connect(IPC_MODE_SERVER, served_there, &peer_server_id));
  RecordedHost client(IPC_MODE_CLIENT, served_there);
  ASSERT_TRUE(client.handle());
  const int server_id = server.id(), client_id = client.id();

  // To all: the server reaches its client, the client has no other client beside it; to the
  // server: only the client sends; to an id: only the server.
  const struct {
    int target;
    const char* text;
    std::string peer_receives;
  } kRows[] = {
      {IPC_TARGET_ALL, "all", MessageLine(0, server_id, "all", 3)},
      {IPC_TARGET_SERVER, "up", MessageLine(1, client_id, "up", 2)},
      {peer_client_id, "to-peer", MessageLine(0, server_id, "to-peer", 7)},
  };
  for (const auto& row : kRows) {
    std::string text = row.text;
    EXPECT_TRUE(IPC_Send(row.target, &text[0], static_cast<unsigned>(text.size()))) << row.text;
    EXPECT_TRUE(peer.WaitFor(row.peer_receives)) << row.text;
  }
  // Fences: whatever else the test's hosts were sent has arrived before them.
  EXPECT_EQ("1", peer.Ask("send 0 10000 fence"));
  EXPECT_EQ("1", peer.Ask("send 1 -1 fence"));
  EXPECT_TRUE(server.WaitFor(Received(peer_client_id, "fence"), kWaitMs));
  EXPECT_TRUE(client.WaitFor(Received(peer_server_id, "fence"), kWaitMs));
  EXPECT_EQ(3u, peer.Lines("message ").size());
  EXPECT_EQ(1u, server.Lines("message ").size());
  EXPECT_EQ(1u, client.Lines("message ").size());
}

// Callback calls of the rules test, logged as "<function> <user> [<host>]".
base::Lock g_calls_lock;
std::vector<std::string> g_calls;

void LogCall(const std::string& call) {
  base::AutoLock hold(g_calls_lock);
  g_calls.push_back(call);
}

// Sorted: the functions of one event are called in the order of their addresses.
std::vector<std::string> Calls() {
  base::AutoLock hold(g_calls_lock);
  std::vector<std::string> calls = g_calls;
  std::sort(calls.begin(), calls.end());
  return calls;
}

std::string UserText(void* user) {
  return std::to_string(reinterpret_cast<intptr_t>(user));
}

void* User(intptr_t value) {
  return reinterpret_cast<void*>(value);
}

bool IPC_CALL ListenerOne(void* user, int, void*, unsigned) {
  LogCall("L1 " + UserText(user));
  return true;
}

bool IPC_CALL ListenerTwo(void* user, int, void*, unsigned) {
  LogCall("L2 " + UserText(user));
  return true;
}

void* g_server_handle = nullptr;

void IPC_CALL StatusOne(void* user, void* host, Status status, int, int) {
  LogCall("F1 " + UserText(user) + " " + std::to_string(status) +
          (host == g_server_handle ? " server" : " other"));
}

void IPC_CALL StatusRegistered(void* user, void* host, Status status, int, int) {
  LogCall("G " + UserText(user) + " " + std::to_string(status) +
          (host == g_server_handle ? " server" : " other"));
}

TEST(IPC_ExportsTest, CallbacksKeepTheirFirstUserPointerAndGoByFunction) {
  std::string name = test::UniqueName("callbacks-");
  RecordedHost server(IPC_MODE_SERVER, name);
  ASSERT_TRUE(server.handle());
  g_server_handle = server.handle();
  EXPECT_EQ(0, IPC_AddListener(server.handle(), &ListenerOne, User(1)));
  EXPECT_EQ(0, IPC_AddListener(server.handle(), &ListenerOne, User(2)));
  EXPECT_EQ(0, IPC_AddListener(server.handle(), &ListenerTwo, User(1)));
  EXPECT_EQ(0, IPC_RemoveListener(&ListenerTwo, User(99)));
  EXPECT_EQ(0, IPC_AddStatusCallback(server.handle(), &StatusOne, User(1)));
  EXPECT_EQ(0, IPC_AddStatusCallback(server.handle(), &StatusOne, User(2)));
  IPC_RegisterStatusCallback(&StatusRegistered, User(3));
  // A host made after the registration does not get the callback.
  std::string later_name = test::UniqueName("callbacks-later-");
  RecordedHost later(IPC_MODE_SERVER, later_name);

  // One client process: slot 0 and later slot 2 connect to the server, slot 1 to the later
  // server.
  HostPeer clients;
  ASSERT_TRUE(clients.Start());
  int id = 0;
  auto connect_and_fence = [&](const std::string& server_name, int slot, RecordedHost* server) {
    ASSERT_TRUE(clients.Connect(IPC_MODE_CLIENT, server_name, &id));
    EXPECT_EQ("1", clients.Ask("send " + std::to_string(slot) + " 10000 fence"));
    ASSERT_TRUE(server->WaitFor(Received(id, "fence"), kWaitMs));
  };
  connect_and_fence(name, 0, &server);
  connect_and_fence(later_name, 1, &later);
  EXPECT_EQ(std::vector<std::string>({"F1 1 0 server", "G 3 0 server", "L1 1"}), Calls());

  EXPECT_EQ(0, IPC_RemoveListener(&ListenerOne, nullptr));
  EXPECT_EQ(0, IPC_RemoveStatusCallback(&StatusOne, nullptr));
  connect_and_fence(name, 2, &server);
  EXPECT_EQ(std::vector<std::string>({"F1 1 0 server", "G 3 0 server", "G 3 0 server", "L1 1"}),
            Calls());
  EXPECT_EQ(0, IPC_RemoveStatusCallback(&StatusRegistered, nullptr));
}

// The sizes of a message in one report line: "message <slot> <source> <size> <text>".
size_t ReportedSize(const std::string& line) {
  int slot = 0, source = 0;
  unsigned long size = 0;
  return sscanf(line.c_str(), "message %d %d %lu", &slot, &source, &size) == 3 ? size : 0;
}

// Sends every client that connects more than it reads before it leaves.
void IPC_CALL GreetWithEightMiB(void* /*user*/, void* host, Status status, int id, int) {
  static const std::string greeting = host_peer::Pattern(size_t{8} << 20);
  if (status == IPC_STATUS_CONNECTED)
    IPC_Send(host, id, const_cast<char*>(greeting.data()), static_cast<unsigned>(greeting.size()));
}

// Also while the server's write to the leaving client is still in flight and fails: what
// the client wrote before is read all the same.
TEST(IPC_ExportsTest, LargeMessagesSentRightBeforeShutDownArriveWhole) {
  const size_t kSizes[] = {16 << 10, 64 << 10, 256 << 10, 1 << 20};
  const int kRounds = 3;
  for (IPC_StatusFunc greet : {IPC_StatusFunc(nullptr), &GreetWithEightMiB}) {
    SCOPED_TRACE(greet ? "greeted" : "not greeted");
    std::string name = test::UniqueName("send-then-shutdown-");
    RecordedHost server(IPC_MODE_SERVER, name);
    ASSERT_TRUE(server.handle());
    if (greet)
      IPC_AddStatusCallback(server.handle(), greet, nullptr);
    HostPeer launcher;
    ASSERT_TRUE(launcher.Start());
    for (int round = 0; round < kRounds; ++round) {
      for (size_t size : kSizes) {
        EXPECT_EQ("1 1 1", launcher.Ask("send-and-shutdown " + name + " " + std::to_string(size)))
            << size;
      }
    }
    const size_t expected = kRounds * (sizeof(kSizes) / sizeof(kSizes[0]));
    EXPECT_TRUE(test::WaitUntil([&] { return server.Lines("message ").size() >= expected; },
                                kWaitMs));
    std::vector<std::string> lines = server.Lines("message ");
    for (size_t size : kSizes) {
      // "pattern": every byte arrived, in order.
      const std::string whole = " " + std::to_string(size) + " pattern";
      EXPECT_EQ(kRounds, std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
                  return ReportedSize(line) == size && line.find(whole) != std::string::npos;
                })) << size;
    }
    EXPECT_EQ(expected, lines.size());
  }
}

// A listener that holds "EventThread" until it is released.
struct HeldListener {
  base::WaitableEvent entered{true, false};
  base::WaitableEvent release{true, false};
};

void Nothing() {}

bool IPC_CALL HoldEventThread(void* user, int, void*, unsigned) {
  HeldListener* held = static_cast<HeldListener*>(user);
  held->entered.Signal();
  held->release.Wait();
  return true;
}

TEST(IPC_ExportsTest, ShutDownKeepsItsBoundAndSaysFalseWhileACallbackStillRuns) {
  std::string name = test::UniqueName("held-callback-");
  void* server = IPC_Connect(IPC_MODE_SERVER, name.c_str());
  ASSERT_TRUE(server);
  HeldListener held;
  ASSERT_EQ(0, IPC_AddListener(server, &HoldEventThread, &held));
  HostPeer client;
  int client_id = 0;
  ASSERT_TRUE(client.Start() && client.Connect(IPC_MODE_CLIENT, name, &client_id));
  ASSERT_EQ("1", client.Ask("send 0 10000 hold"));
  ASSERT_TRUE(held.entered.TimedWait(base::TimeDelta::FromMilliseconds(kWaitMs)));

  ULONGLONG before = GetTickCount64();
  EXPECT_FALSE(IPC_ShutDown(server)) << "a callback of the host still runs";
  EXPECT_LT(GetTickCount64() - before, 5000u + 500u);
  EXPECT_EQ(0, IPC_GetCommunicationID(server)) << "the host is gone all the same";
  held.release.Signal();

  // The threads left running are stopped by the next last shutdown.
  void* next = IPC_Connect(IPC_MODE_SERVER, test::UniqueName("after-held-").c_str());
  ASSERT_TRUE(next);
  EXPECT_TRUE(IPC_ShutDown(next));
  EXPECT_FALSE(IPC_ThreadEnviroment::PostTask(IPC_THREAD_EVENT, FROM_HERE, base::Bind(&Nothing)));
}

TEST(IPC_ExportsTest, ConnectsAndShutDownsRacingOnSeveralThreadsAllSucceed) {
  const int kClientThreads = 3;
  const int kServerThreads = 1;
  const int kRounds = 15;
  std::string name = test::UniqueName("race-");
  HostPeer server;
  int server_id = 0;
  ASSERT_TRUE(server.Start() && server.Connect(IPC_MODE_SERVER, name, &server_id));
  std::atomic<int> failures(0);
  auto client_rounds = [&] {
    std::string text = "race";
    for (int round = 0; round < kRounds; ++round) {
      void* host = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
      if (!host || !IPC_Send(host, IPC_TARGET_SERVER, &text[0], 4) || !IPC_ShutDown(host))
        ++failures;
    }
  };
  // Each of its own names, so the servers of the process come and go between the clients.
  auto server_rounds = [&] {
    for (int round = 0; round < kRounds; ++round) {
      void* host = IPC_Connect(IPC_MODE_SERVER, test::UniqueName("race-own-").c_str());
      if (!host || !IPC_ShutDown(host))
        ++failures;
    }
  };
  std::vector<std::function<void()>> bodies(kClientThreads, client_rounds);
  bodies.insert(bodies.end(), kServerThreads, server_rounds);
  std::vector<std::unique_ptr<test::FunctionDelegate>> delegates;
  std::vector<base::PlatformThreadHandle> threads(bodies.size());
  for (size_t i = 0; i < bodies.size(); ++i) {
    delegates.emplace_back(new test::FunctionDelegate(bodies[i]));
    ASSERT_TRUE(base::PlatformThread::Create(0, delegates.back().get(), &threads[i]));
  }
  for (base::PlatformThreadHandle& thread : threads)
    ASSERT_TRUE(test::JoinWithDeadline(&thread)) << "a connect or shutdown hangs";
  EXPECT_EQ(0, failures.load());
  const size_t sent = kClientThreads * kRounds;
  EXPECT_TRUE(test::WaitUntil([&] { return server.Lines("message ").size() >= sent; }, kWaitMs));
  EXPECT_EQ(sent, server.Lines("message ").size());
}

}  // namespace
