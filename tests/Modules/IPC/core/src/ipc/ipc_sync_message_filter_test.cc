// The sync message filter on a sync channel of one process: sends from worker threads, each
// reply reaching its own sender, and what adoption, shutdown and channel failure do to them.
#include "ipc/ipc_sync_message_filter.h"

#include <memory>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "support/ipc/sync_channel_pair.h"
#include "support/background_thread.h"
#include "support/thread_runner.h"

namespace IPC {
namespace {

using sync_test::IntInput;
using sync_test::NewIntRequest;
using sync_test::NewNotification;
using testing::ElementsAre;

// A message that counts its deletions.
class CountedMessage : public Message {
 public:
  explicit CountedMessage(int* deletes)
      : Message(sync_test::kRoute, sync_test::kNotifyType, kPriorityNormal), deletes_(deletes) {}
  ~CountedMessage() override { ++*deletes_; }

 private:
  int* deletes_;
};

void WaitOn(base::WaitableEvent* event) {
  event->TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs));
}

void SendDoubleRequest(SyncMessageFilter* filter, int* output, bool* result,
                       base::WaitableEvent* done) {
  *result = filter->Send(NewIntRequest(sync_test::kDoubleType, 1, output));
  done->Signal();
}

class SyncMessageFilterTest : public sync_test::SyncChannelPairTest {
 protected:
  SyncMessageFilterTest() : filter_(new SyncMessageFilter(&local_shutdown_)) {}

  // Adds the filter and waits until the IPC thread has adopted it.
  void AddFilter() {
    local_channel()->AddFilter(filter_.get());
    ASSERT_TRUE(Flush(&local_io_));
  }

  struct WorkerSends {
    bool sync_sent = true;
    bool async_sent = true;
    int output = 5;  // of the synchronous request
  };

  // A synchronous request and then |async_message| sent through the filter by a worker.
  WorkerSends SendFromAWorker(Message* async_message) {
    WorkerSends sends;
    EXPECT_TRUE(test::RunOnNewThread([&] {
      sends.sync_sent = filter_->Send(NewIntRequest(sync_test::kDoubleType, 1, &sends.output));
      sends.async_sent = filter_->Send(async_message);
    }));
    return sends;
  }

  // Once the filter has left its channel, a synchronous send fails as soon as its task runs,
  // and an asynchronous message is accepted and deleted on the IPC thread.
  void ExpectSendsGoNowhere() {
    int deletes = 0;
    WorkerSends sends = SendFromAWorker(new CountedMessage(&deletes));
    EXPECT_FALSE(sends.sync_sent);
    EXPECT_TRUE(sends.async_sent);
    EXPECT_EQ(5, sends.output);
    ASSERT_TRUE(Flush(&local_io_));
    EXPECT_EQ(1, deletes);
  }

  scoped_refptr<SyncMessageFilter> filter_;
};

TEST_F(SyncMessageFilterTest, WorkerAndBlockedListenerEachGetTheirOwnReply) {
  AddFilter();
  base::WaitableEvent listener_request_arrived(true, false);
  scoped_ptr<Message> listener_request;
  bool worker_answered = false;
  // The peer answers the listener only once the worker's request is in too, and then first,
  // so that each reply arrives while both sends are pending.
  remote_listener().On(sync_test::kIgnoreType, [&](const Message& m) {
    listener_request.reset(new Message(m));
    listener_request_arrived.Signal();
  });
  remote_listener().On(sync_test::kDoubleType, [&](const Message& m) {
    if (listener_request)
      remote_listener().Reply(*listener_request, 7);
    remote_listener().Reply(m, IntInput(m) * 2);
    worker_answered = true;
  });

  int worker_output = 0;
  bool worker_sent = false;
  test::BackgroundThread worker([&] {
    WaitOn(&listener_request_arrived);
    worker_sent = filter_->Send(NewIntRequest(sync_test::kDoubleType, 21, &worker_output));
  });
  int listener_output = 0;
  EXPECT_TRUE(local_channel()->Send(NewIntRequest(sync_test::kIgnoreType, 0, &listener_output)));
  ASSERT_TRUE(worker.Join());
  EXPECT_TRUE(worker_sent);
  EXPECT_EQ(42, worker_output);
  EXPECT_EQ(7, listener_output);
  EXPECT_TRUE(RunOnPeer([&] { EXPECT_TRUE(worker_answered); }));
}

TEST_F(SyncMessageFilterTest, SendBeforeAdoptionFailsAndSendsNothing) {
  // The IPC thread is kept busy so that the adoption waits behind it.
  base::WaitableEvent release_io(true, false);
  local_io_.message_loop_proxy()->PostTask(FROM_HERE, base::Bind(&WaitOn, &release_io));
  local_channel()->AddFilter(filter_.get());
  WorkerSends early = SendFromAWorker(NewNotification(1));
  release_io.Signal();
  EXPECT_FALSE(early.sync_sent);
  EXPECT_FALSE(early.async_sent);
  EXPECT_EQ(5, early.output);

  // Once adopted the filter sends; the earlier messages never went out.
  ASSERT_TRUE(Flush(&local_io_));
  bool async_sent = false;
  ASSERT_TRUE(test::RunOnNewThread([&] { async_sent = filter_->Send(NewNotification(2)); }));
  EXPECT_TRUE(async_sent);
  ASSERT_TRUE(remote_listener().WaitForMessage(sync_test::kNotifyType));
  EXPECT_THAT(remote_listener().received(), ElementsAre(sync_test::kNotifyType));
}

TEST_F(SyncMessageFilterTest, ShutdownEventReleasesEveryBlockedSender) {
  AddFilter();
  const int kSenders = 3;
  std::vector<int> outputs(kSenders, 5);
  std::vector<char> results(kSenders, true);
  {
    std::vector<std::unique_ptr<test::BackgroundThread>> senders;
    for (int i = 0; i < kSenders; ++i) {
      senders.emplace_back(new test::BackgroundThread([&, i] {
        results[i] = filter_->Send(NewIntRequest(sync_test::kIgnoreType, i, &outputs[i]));
      }));
    }
    ASSERT_TRUE(remote_listener().WaitForMessage(sync_test::kIgnoreType, kSenders));
    local_shutdown_.Signal();
    for (std::unique_ptr<test::BackgroundThread>& sender : senders)
      ASSERT_TRUE(sender->Join());
  }
  EXPECT_THAT(results, ElementsAre(false, false, false));
  EXPECT_THAT(outputs, ElementsAre(5, 5, 5));
}

TEST_F(SyncMessageFilterTest, SendWithTimeoutGivesUpAndItsLateReplyReachesNobody) {
  AddFilter();
  // The peer answers the request that timed out only once the next one is in, right before
  // that one.
  scoped_ptr<Message> late;
  remote_listener().On(sync_test::kIgnoreType,
                       [&](const Message& m) { late.reset(new Message(m)); });
  remote_listener().On(sync_test::kDoubleType, [&](const Message& m) {
    if (late)
      remote_listener().Reply(*late, 7);
    remote_listener().Reply(m, IntInput(m) * 2);
  });
  int timed_out = 5, doubled = 0;
  bool unanswered = true, answered = false;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    unanswered = filter_->SendWithTimeout(NewIntRequest(sync_test::kIgnoreType, 1, &timed_out),
                                          base::TimeDelta::FromMilliseconds(20));
    answered = filter_->SendWithTimeout(NewIntRequest(sync_test::kDoubleType, 4, &doubled),
                                        base::TimeDelta::FromMilliseconds(test::kDeadlineMs));
  }));
  EXPECT_FALSE(unanswered);
  EXPECT_EQ(5, timed_out);
  EXPECT_TRUE(answered);
  EXPECT_EQ(8, doubled);
}

TEST_F(SyncMessageFilterTest, ChannelErrorReleasesABlockedSender) {
  AddFilter();
  remote_listener().On(sync_test::kCloseType,
                       [this](const Message&) { remote_channel()->Close(); });
  int output = 5;
  bool sent = true;
  ASSERT_TRUE(test::RunOnNewThread(
      [&] { sent = filter_->Send(NewIntRequest(sync_test::kCloseType, 1, &output)); }));
  EXPECT_FALSE(sent);
  EXPECT_EQ(5, output);
}

TEST_F(SyncMessageFilterTest, AfterTheChannelFailedMessagesAreDeletedOnTheIPCThread) {
  AddFilter();
  ASSERT_TRUE(RunOnPeer([this] { remote_channel()->Close(); }));
  ASSERT_TRUE(RunUntil([this] { return local_listener().errors() > 0; }));

  ExpectSendsGoNowhere();
}

TEST_F(SyncMessageFilterTest, AfterRemovalAndCloseMessagesAreDeletedOnTheIPCThread) {
  AddFilter();
  local_channel()->RemoveFilter(filter_.get());
  local_channel()->Close();
  ASSERT_TRUE(Flush(&local_io_));

  ExpectSendsGoNowhere();
}

TEST_F(SyncMessageFilterTest, SynchronousSendFromTheIPCThreadIsRefused) {
  AddFilter();
  int output = 5;
  bool sent = true;
  base::WaitableEvent done(true, false);
  local_io_.message_loop_proxy()->PostTask(
      FROM_HERE, base::Bind(&SendDoubleRequest, filter_.get(), &output, &sent, &done));
  WaitOn(&done);
  EXPECT_FALSE(sent);
  EXPECT_EQ(5, output);
}

TEST_F(SyncMessageFilterTest, SendAfterTheIPCThreadEndedFailsAtOnce) {
  AddFilter();
  local_io_.Stop();
  WorkerSends sends = SendFromAWorker(NewNotification(1));
  EXPECT_FALSE(sends.sync_sent);
  EXPECT_FALSE(sends.async_sent);
}

}  // namespace
}  // namespace IPC
