// The broker's three threads: start and stop, posting by id, the blocking post, and which
// thread an application callback runs on.
#include "Thread/IPC_ThreadEnviroment.h"

#include <windows.h>

#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "IPC_Broker.h"
#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/location.h"
#include "base/message_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "support/deadline.h"
#include "support/delete_counter.h"
#include "support/ipc/host_peer_process.h"
#include "support/ipc/recorded_host.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace {

struct ThreadSighting {
  std::string name;
  int identified_id = -1;
  bool on_own_id = false;
};

void Sight(int thread_id, ThreadSighting* sighting) {
  const char* name = base::PlatformThread::GetName();
  sighting->name = name ? name : "";
  IPC_ThreadEnviroment::GetCurrentThreadIdentifier(&sighting->identified_id);
  sighting->on_own_id = IPC_ThreadEnviroment::CurrentlyOn(thread_id);
}

void ExpectThreadsRunUnderTheirNames(IPC_ThreadEnviroment* threads) {
  const struct {
    int id;
    const char* name;
  } kThreads[] = {{0, "MainThread"}, {1, "IOThread"}, {2, "EventThread"}};
  for (const auto& expected : kThreads) {
    ThreadSighting sighting;
    ASSERT_TRUE(threads->PostTaskAndWait(expected.id, FROM_HERE,
                                         base::Bind(&Sight, expected.id, &sighting), -1));
    EXPECT_EQ(expected.name, sighting.name);
    EXPECT_EQ(expected.id, sighting.identified_id);
    EXPECT_TRUE(sighting.on_own_id) << expected.name;
  }
  int id = -1;
  EXPECT_FALSE(IPC_ThreadEnviroment::GetCurrentThreadIdentifier(&id));
  EXPECT_FALSE(IPC_ThreadEnviroment::CurrentlyOn(0));
}

void Nothing() {}

TEST(IPC_ThreadEnviromentTest, StartsAndStopsIdempotentlyAndRestartsUnderTheSameNames) {
  scoped_refptr<IPC_ThreadEnviroment> threads(new IPC_ThreadEnviroment);
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(threads->Start());
    EXPECT_TRUE(threads->Start());
    ExpectThreadsRunUnderTheirNames(threads.get());
    EXPECT_TRUE(threads->Stop());
    EXPECT_TRUE(threads->Stop());
    EXPECT_FALSE(IPC_ThreadEnviroment::PostTask(0, FROM_HERE, base::Bind(&Nothing)));
    EXPECT_FALSE(threads->PostTaskAndWait(0, FROM_HERE, base::Bind(&Nothing), -1));
  }
}

void DeleteOwned(test::DeleteCounter*, base::WaitableEvent* ran) {
  ran->Signal();
}

TEST(IPC_ThreadEnviromentTest, PostsReachOnlyTheThreeIds) {
  scoped_refptr<IPC_ThreadEnviroment> threads(new IPC_ThreadEnviroment);
  ASSERT_TRUE(threads->Start());
  typedef bool (*Post)(int, base::WaitableEvent*, test::DeleteCounter*);
  const Post kPosts[] = {
      [](int id, base::WaitableEvent* ran, test::DeleteCounter* owned) {
        return IPC_ThreadEnviroment::PostTask(id, FROM_HERE,
                                              base::Bind(&DeleteOwned, base::Owned(owned), ran));
      },
      [](int id, base::WaitableEvent* ran, test::DeleteCounter* owned) {
        return IPC_ThreadEnviroment::PostDelayedTask(
            id, FROM_HERE, base::Bind(&DeleteOwned, base::Owned(owned), ran), int64_t(1));
      },
      [](int id, base::WaitableEvent* ran, test::DeleteCounter* owned) {
        return IPC_ThreadEnviroment::PostNonNestableDelayedTask(
            id, FROM_HERE, base::Bind(&DeleteOwned, base::Owned(owned), ran),
            base::TimeDelta::FromMilliseconds(1));
      },
  };
  const struct {
    int id;
    bool reaches;
  } kIds[] = {{-1, false}, {0, true}, {1, true}, {2, true}, {3, false}};
  for (Post post : kPosts) {
    for (const auto& row : kIds) {
      base::WaitableEvent ran(true, false);
      int deletes = 0;
      EXPECT_EQ(row.reaches, post(row.id, &ran, new test::DeleteCounter(&deletes))) << row.id;
      if (row.reaches)
        EXPECT_TRUE(ran.TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs)));
      else
        EXPECT_FALSE(ran.IsSignaled());
      EXPECT_TRUE(test::WaitUntil([&] { return deletes == 1; }, test::kDeadlineMs)) << row.id;
    }
  }
  threads->Stop();
}

void BlockUntil(base::WaitableEvent* started, base::WaitableEvent* release) {
  started->Signal();
  release->Wait();
}

void CountRun(std::atomic<int>* runs) {
  ++*runs;
}

TEST(IPC_ThreadEnviromentTest, WaitGivesUpAtItsTimeOutAndTheLateTaskStillRunsSafely) {
  scoped_refptr<IPC_ThreadEnviroment> threads(new IPC_ThreadEnviroment);
  ASSERT_TRUE(threads->Start());
  std::atomic<int> runs(0);
  ASSERT_TRUE(threads->PostTaskAndWait(0, FROM_HERE, base::Bind(&CountRun, &runs), -1));
  EXPECT_EQ(1, runs);

  base::WaitableEvent started(true, false), release(true, false);
  ASSERT_TRUE(IPC_ThreadEnviroment::PostTask(
      0, FROM_HERE, base::Bind(&BlockUntil, &started, &release)));
  ASSERT_TRUE(started.TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs)));
  const int kTimeOutMs = 300;
  ULONGLONG before = GetTickCount64();
  EXPECT_FALSE(threads->PostTaskAndWait(0, FROM_HERE, base::Bind(&CountRun, &runs), kTimeOutMs));
  EXPECT_GE(GetTickCount64() - before, kTimeOutMs - 20u);
  EXPECT_EQ(1, runs);
  // The waiter's frame is gone; the late task must only touch what it owns.
  release.Signal();
  EXPECT_TRUE(test::WaitUntil([&] { return runs == 2; }, test::kDeadlineMs));
  EXPECT_TRUE(threads->PostTaskAndWait(0, FROM_HERE, base::Bind(&CountRun, &runs), -1));
  threads->Stop();
}

void QuitLoopNow() {
  MessageLoop::current()->QuitNow();
}

TEST(IPC_ThreadEnviromentTest, WaitLearnsAtOnceOfATaskWhoseLoopQuitBeforeIt) {
  const struct {
    int64_t timeout_ms;
  } kRows[] = {{-1}, {10000}};
  for (const auto& row : kRows) {
    scoped_refptr<IPC_ThreadEnviroment> threads(new IPC_ThreadEnviroment);
    ASSERT_TRUE(threads->Start());
    std::atomic<int> runs(0);
    // Queued behind the quit, whether the loop has quit already or not.
    ASSERT_TRUE(IPC_ThreadEnviroment::PostTask(IPC_THREAD_MAIN, FROM_HERE,
                                               base::Bind(&QuitLoopNow)));
    ULONGLONG before = GetTickCount64();
    EXPECT_FALSE(threads->PostTaskAndWait(IPC_THREAD_MAIN, FROM_HERE,
                                          base::Bind(&CountRun, &runs), row.timeout_ms));
    EXPECT_LT(GetTickCount64() - before, 5000u) << row.timeout_ms;
    EXPECT_EQ(0, runs.load());
    threads->Stop();
  }
}

// Inside a listener: the event thread, and the blocking calls answer at once.
struct ListenerSighting {
  void* host = nullptr;
  std::atomic<bool> seen{false};
  bool on_event = false, on_main = false, connect_null = false, shutdown_false = false;
  ULONGLONG blocking_calls_ms = 0;
};

bool IPC_CALL SightFromListener(void* user, int, void*, unsigned) {
  ListenerSighting* sighting = static_cast<ListenerSighting*>(user);
  sighting->on_event = IPC_ThreadEnviroment::CurrentlyOn(2);
  sighting->on_main = IPC_ThreadEnviroment::CurrentlyOn(0);
  ULONGLONG before = GetTickCount64();
  sighting->connect_null = !IPC_Connect(IPC_MODE_SERVER, test::UniqueName("inner-").c_str());
  sighting->shutdown_false = !IPC_ShutDown(sighting->host);
  sighting->blocking_calls_ms = GetTickCount64() - before;
  sighting->seen = true;
  return true;
}

TEST(IPC_ThreadEnviromentTest, ListenersRunOnTheEventThreadWhereConnectAndShutDownRefuse) {
  std::string name = test::UniqueName("listener-thread-");
  test::RecordedHost server(IPC_MODE_SERVER, name);
  ASSERT_TRUE(server.handle());
  ListenerSighting sighting;
  sighting.host = server.handle();
  ASSERT_EQ(0, IPC_AddListener(server.handle(), &SightFromListener, &sighting));
  test::HostPeer client;
  int client_id = 0;
  ASSERT_TRUE(client.Start() && client.Connect(IPC_MODE_CLIENT, name, &client_id));
  ASSERT_EQ("1", client.Ask("send 0 " + std::to_string(IPC_TARGET_SERVER) + " where"));
  ASSERT_TRUE(test::WaitUntil([&] { return sighting.seen.load(); }, test::kDeadlineMs));
  EXPECT_TRUE(sighting.on_event);
  EXPECT_FALSE(sighting.on_main);
  EXPECT_TRUE(sighting.connect_null);
  EXPECT_TRUE(sighting.shutdown_false);
  EXPECT_LT(sighting.blocking_calls_ms, 1000u);
  EXPECT_FALSE(IPC_ThreadEnviroment::CurrentlyOn(2));
  IPC_RemoveListener(&SightFromListener, nullptr);
}

}  // namespace
