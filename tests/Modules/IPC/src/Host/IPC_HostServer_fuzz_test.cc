// A server host under a randomized attack: another process writes ten thousand mutated
// messages into its rendezvous and worker pipes, holds them silent and leaves workers unread,
// while a well-behaved client of a third process exchanges messages with it (the server's
// go to every client, the unread ones too). HOSTILE_PEER_SEED replays a run's attack.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "IPC_Broker.h"
#include "support/deadline.h"
#include "support/handle_count.h"
#include "support/ipc/host_peer_process.h"
#include "support/ipc/recorded_host.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace {

using host_peer::MessageLine;
using test::HostPeer;

const int kHostileMessages = 10000;
const unsigned long kAttackMs = 600000;

unsigned long AttackSeed() {
  if (const char* replay = getenv("HOSTILE_PEER_SEED"))
    return strtoul(replay, nullptr, 10);
  return std::random_device()();
}

std::string Received(int source, const std::string& text) {
  return MessageLine(0, source, text.data(), static_cast<unsigned>(text.size()));
}

TEST(IPC_HostServerFuzzTest, MutatedMessagesLeaveTheServerServingAndItsHandlesAsTheyWere) {
  const std::string name = test::UniqueName("hostile-");
  test::RecordedHost server(IPC_MODE_SERVER, name);
  ASSERT_TRUE(server.handle());
  HostPeer client, attacker;
  int client_id = 0;
  ASSERT_TRUE(client.Start() && client.Connect(IPC_MODE_CLIENT, name, &client_id));
  ASSERT_TRUE(attacker.Start());
  // One exchange first, so that what the runtimes create once is there before counting.
  ASSERT_TRUE(server.Send(client_id, "warm-up"));
  ASSERT_TRUE(client.WaitFor(Received(server.id(), "warm-up")));
  const int handles_before = test::CountOpenHandles();

  const unsigned long seed = AttackSeed();
  printf("hostile peer seed %lu (HOSTILE_PEER_SEED=%lu replays it)\n", seed, seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  ASSERT_TRUE(attacker.Command("attack " + name + " " + std::to_string(seed) + " " +
                               std::to_string(kHostileMessages)));
  // Both ways, one message at a time, for as long as the attack lasts.
  int exchanges = 0;
  const ULONGLONG deadline = GetTickCount64() + test::ScaledMs(kAttackMs);
  while (attacker.Lines("attack ").empty() && GetTickCount64() < deadline) {
    const std::string text = "during-" + std::to_string(++exchanges);
    ASSERT_TRUE(server.Send(IPC_TARGET_ALL, text));
    ASSERT_TRUE(client.WaitFor(Received(server.id(), text))) << text;
    ASSERT_EQ("1", client.Ask("send 0 10000 " + text));
    ASSERT_TRUE(server.WaitFor(Received(client_id, text), test::kDeadlineMs)) << text;
  }
  const std::string sessions = attacker.Take("attack");
  printf("%d messages in %s sessions; %d exchanges with the client meanwhile\n",
         kHostileMessages, sessions.c_str(), exchanges);
  EXPECT_GT(atoi(sessions.c_str()), 0) << "the rendezvous stopped answering";
  EXPECT_EQ(static_cast<size_t>(exchanges + 1),
            client.Lines("message 0 " + std::to_string(server.id()) + " ").size());
  EXPECT_EQ(static_cast<size_t>(exchanges),
            server.Lines("message 0 " + std::to_string(client_id) + " ").size());

  attacker.Kill();
  EXPECT_TRUE(test::WaitUntil(
      [&] { return test::CountOpenHandles() <= handles_before + test::kHandlesCreatedOnce; }, test::kDeadlineMs))
      << handles_before << " handles before, " << test::CountOpenHandles() << " after";
}

}  // namespace
