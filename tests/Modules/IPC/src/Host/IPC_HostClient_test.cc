// The client host: connecting to a server that is missing, frozen, busy with others or
// killed under it.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IPC_Broker.h"
#include "base/win/scoped_handle.h"
#include "ipc/ipc_channel.h"
#include "support/background_thread.h"
#include "support/ipc/host_peer_process.h"
#include "support/ipc/recorded_host.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace {

using host_peer::StatusLine;
using test::HostPeer;
using test::RecordedHost;

// What a client's connect may cost: three attempts 200 ms apart, or the 10 s budget.
const ULONGLONG kThreeAttemptsMs = 600;
const ULONGLONG kConnectBudgetMs = 10000;
// Shutting down or leaving is prompt: well inside the 5 s a destruction may wait.
const ULONGLONG kPromptMs = 3000;

ULONGLONG ElapsedMs(ULONGLONG since) {
  return GetTickCount64() - since;
}

TEST(IPC_HostClientTest, KilledServerIsReportedOnceAndLaterSendsAreDroppedWithoutHanging) {
  std::string name = test::UniqueName("killed-server-");
  HostPeer server;
  ASSERT_TRUE(server.Start());
  int server_id = 0;
  ASSERT_TRUE(server.Connect(IPC_MODE_SERVER, name, &server_id));
  RecordedHost client(IPC_MODE_CLIENT, name);
  ASSERT_TRUE(client.handle());
  EXPECT_GT(client.id(), server_id);
  EXPECT_TRUE(client.Send(IPC_TARGET_SERVER, "before"));
  EXPECT_TRUE(server.WaitFor(host_peer::MessageLine(0, client.id(), "before", 6)));

  server.Kill();
  EXPECT_TRUE(client.WaitFor(
      StatusLine(0, IPC_STATUS_ERROR, server_id, static_cast<int>(server.pid()), 0),
      test::kDeadlineMs));
  // Each send is refused by the failed channel, which must neither report again nor keep them.
  const int kSendsAfter = 50;
  for (int i = 0; i < kSendsAfter; ++i)
    EXPECT_FALSE(client.Send(IPC_TARGET_SERVER, "after"));
  EXPECT_GT(client.id(), server_id) << "the host stays registered until it is shut down";
  ULONGLONG before = GetTickCount64();
  EXPECT_TRUE(client.ShutDown());
  EXPECT_LT(ElapsedMs(before), kPromptMs);
  // The shutdown waited for every callback queued before it.
  EXPECT_EQ(1u, client.Lines("status ").size());
}

TEST(IPC_HostClientTest, NameNobodyServesFailsAfterThreeAttempts) {
  const char* const kNames[] = {"", "nobody-serves-"};
  for (const char* prefix : kNames) {
    std::string name = *prefix ? test::UniqueName(prefix) : std::string();
    ULONGLONG before = GetTickCount64();
    EXPECT_EQ(nullptr, IPC_Connect(IPC_MODE_CLIENT, name.c_str())) << name;
    ULONGLONG elapsed = ElapsedMs(before);
    EXPECT_GE(elapsed, kThreeAttemptsMs - 50) << name;
    EXPECT_LT(elapsed, kConnectBudgetMs / 2) << name;
  }
}

// A rendezvous pipe that accepts one client and never answers it.
class FrozenServer {
 public:
  explicit FrozenServer(const std::string& name) : overlapped_() {
    pipe_.Set(CreateNamedPipeW(IPC::Channel::PipePath(name).c_str(),
                               PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                               PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                               IPC::Channel::kReadBufferSize, IPC::Channel::kReadBufferSize,
                               0, nullptr));
    accepted_.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    overlapped_.hEvent = accepted_.Get();
    ConnectNamedPipe(pipe_.Get(), &overlapped_);
  }
  ~FrozenServer() {
    CancelIo(pipe_.Get());
    DWORD ignored = 0;
    GetOverlappedResult(pipe_.Get(), &overlapped_, &ignored, TRUE);
  }
  bool IsValid() const { return pipe_.IsValid(); }
  bool WaitForClient(unsigned long timeout_ms) const {
    return WaitForSingleObject(accepted_.Get(), timeout_ms) == WAIT_OBJECT_0;
  }

 private:
  base::win::ScopedFileHandle pipe_;
  base::win::ScopedHandle accepted_;
  OVERLAPPED overlapped_;
};

// The milliseconds a peer's report ends with.
ULONGLONG ReportedMs(const std::string& report) {
  unsigned long long ms = 0;
  const char* last = strrchr(report.c_str(), ' ');
  return last && sscanf(last + 1, "%llu", &ms) == 1 ? ms : ~0ull;
}

TEST(IPC_HostClientTest, FrozenServerCostsTheConnectTenSecondsAndNothingAfterwards) {
  const struct {
    bool own_server;  // the peer holds a host of its own, shut down afterwards
  } kRows[] = {{true}, {false}};
  for (const auto& row : kRows) {
    std::string frozen_name = test::UniqueName("frozen-");
    FrozenServer frozen(frozen_name);
    ASSERT_TRUE(frozen.IsValid());
    HostPeer peer;
    ASSERT_TRUE(peer.Start());
    int own_id = 0;
    if (row.own_server) {
      ASSERT_TRUE(peer.Connect(IPC_MODE_SERVER, test::UniqueName("own-"), &own_id));
    }
    std::string report = peer.Ask("connect 2 " + frozen_name);
    EXPECT_EQ("-1 0 ", report.substr(0, 5)) << report;
    EXPECT_GE(ReportedMs(report), kConnectBudgetMs - 100) << report;
    EXPECT_LT(ReportedMs(report), kConnectBudgetMs + kPromptMs) << report;
    if (row.own_server) {
      report = peer.Ask("shutdown 0");
      EXPECT_EQ("1 ", report.substr(0, 2)) << report;
      EXPECT_LT(ReportedMs(report), kPromptMs) << report;
    }
    ASSERT_TRUE(peer.Command("exit 7"));
    unsigned long exit_code = 0;
    EXPECT_TRUE(peer.WaitForExit(kPromptMs, &exit_code)) << "the peer hangs at exit";
    EXPECT_EQ(7u, exit_code);
  }
}

// The line |receiver_slot| of a peer logs for |text| from |source|.
std::string Received(int receiver_slot, int source, const std::string& text) {
  return host_peer::MessageLine(receiver_slot, source, text.data(),
                                static_cast<unsigned>(text.size()));
}

// The connect waits out the frozen server's silence on its own thread. Meanwhile this
// process serves a client of another process, connects to that process's server, and
// both hosts talk and shut down in time.
TEST(IPC_HostClientTest, AConnectToAFrozenServerHoldsUpNoOtherHostOfTheProcess) {
  const std::string frozen_name = test::UniqueName("frozen-");
  FrozenServer frozen(frozen_name);
  ASSERT_TRUE(frozen.IsValid());
  std::atomic<bool> gave_up{false};
  test::BackgroundThread connect([&] {
    EXPECT_EQ(nullptr, IPC_Connect(IPC_MODE_CLIENT, frozen_name.c_str()));
    gave_up = true;
  });
  ASSERT_TRUE(frozen.WaitForClient(test::kDeadlineMs));

  const std::string ours = test::UniqueName("ours-"), theirs = test::UniqueName("theirs-");
  RecordedHost server(IPC_MODE_SERVER, ours);
  ASSERT_TRUE(server.handle());
  HostPeer peer;
  ASSERT_TRUE(peer.Start());
  int their_server = 0, their_client = 0;
  ASSERT_TRUE(peer.Connect(IPC_MODE_SERVER, theirs, &their_server));
  ASSERT_TRUE(peer.Connect(IPC_MODE_CLIENT, ours, &their_client));
  RecordedHost client(IPC_MODE_CLIENT, theirs);
  ASSERT_TRUE(client.handle());
  ASSERT_TRUE(server.Send(their_client, "to-them"));
  ASSERT_TRUE(client.Send(IPC_TARGET_SERVER, "to-their-server"));
  EXPECT_TRUE(peer.WaitFor(Received(1, server.id(), "to-them")));
  EXPECT_TRUE(peer.WaitFor(Received(0, client.id(), "to-their-server")));
  EXPECT_TRUE(client.ShutDown());
  EXPECT_TRUE(server.ShutDown());
  EXPECT_FALSE(gave_up) << "everything above happened while the frozen connect waited";
  EXPECT_TRUE(connect.Join());
}

TEST(IPC_HostClientTest, TenClientsConnectingAtOnceAllGetThrough) {
  const int kClients = 10;
  std::string name = test::UniqueName("burst-");
  RecordedHost server(IPC_MODE_SERVER, name);
  ASSERT_TRUE(server.handle());
  std::vector<std::unique_ptr<HostPeer>> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back(new HostPeer);
    ASSERT_TRUE(clients.back()->Start());
  }
  for (auto& client : clients)
    ASSERT_TRUE(client->Command("connect 2 " + name));
  std::vector<int> ids;
  for (auto& client : clients) {
    std::string report = client->Take("connect");
    int slot = -1, id = 0;
    EXPECT_EQ(2, sscanf(report.c_str(), "%d %d", &slot, &id)) << report;
    EXPECT_EQ(0, slot) << report;
    ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids.end(), std::unique(ids.begin(), ids.end()));
}

}  // namespace
