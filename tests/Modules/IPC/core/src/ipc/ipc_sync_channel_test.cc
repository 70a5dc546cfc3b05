// The sync channel between two channels of one process over a real pipe: replies and their
// outputs, requests served while blocked, nested sends, shutdown, timeouts, channel failure,
// the nested-loop wait and the queue the sync channels of a thread share.
#include "ipc/ipc_sync_channel.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "support/ipc/sync_channel_pair.h"
#include "ipc/ipc_sync_message.h"
#include "support/background_thread.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace IPC {
namespace {

using sync_test::ChannelPair;
using sync_test::EventLog;
using sync_test::IntInput;
using sync_test::NewErrorReply;
using sync_test::NewIntRequest;
using sync_test::NewNotification;
using testing::ElementsAre;

class SyncChannelTest : public sync_test::SyncChannelPairTest {
 protected:
  // The peer answers kDoubleType with twice the input.
  void ScriptDoubling() {
    remote_listener().On(sync_test::kDoubleType, [this](const Message& m) {
      remote_listener().Reply(m, IntInput(m) * 2);
    });
  }

  // The test thread answers kQuestionType with ten times the input.
  void ScriptLocalAnswers() {
    local_listener().On(sync_test::kQuestionType, [this](const Message& m) {
      log_.Add("question served");
      local_listener().Reply(m, IntInput(m) * 10);
    });
  }

  EventLog log_;
};

base::TimeDelta Since(base::TimeTicks start) {
  return base::TimeTicks::Now() - start;
}

void SetFlag(bool* flag) {
  *flag = true;
}

// Replies and their outputs -----------------------------------------------------------------

TEST_F(SyncChannelTest, SynchronousRequestReadsTheReplysOutput) {
  ScriptDoubling();
  int output = 0;
  EXPECT_TRUE(local_channel()->Send(NewIntRequest(sync_test::kDoubleType, 21, &output)));
  EXPECT_EQ(42, output);
  // The channel stays usable for the next request.
  EXPECT_TRUE(local_channel()->Send(NewIntRequest(sync_test::kDoubleType, -4, &output)));
  EXPECT_EQ(-8, output);
}

TEST_F(SyncChannelTest, ErrorOrMalformedReplyFailsAndLeavesTheOutputUntouched) {
  remote_listener().On(sync_test::kErrorType, [this](const Message& m) {
    // An error reply may still carry a value; it must not be read.
    Message* reply = NewErrorReply(m);
    reply->WriteInt(13);
    remote_channel()->Send(reply);
  });
  remote_listener().On(sync_test::kMalformedType, [this](const Message& m) {
    remote_channel()->Send(SyncMessage::GenerateReply(&m));
  });
  int output = 77;
  EXPECT_FALSE(local_channel()->Send(NewIntRequest(sync_test::kErrorType, 1, &output)));
  EXPECT_EQ(77, output);
  EXPECT_FALSE(local_channel()->Send(NewIntRequest(sync_test::kMalformedType, 1, &output)));
  EXPECT_EQ(77, output);
}

TEST_F(SyncChannelTest, AsynchronousMessageIsSentAsByTheProxy) {
  int value = 0;
  remote_listener().On(sync_test::kNotifyType, [&value](const Message& m) {
    PickleIterator iter(m);
    iter.ReadInt(&value);
  });
  EXPECT_TRUE(local_channel()->Send(NewNotification(5)));
  ASSERT_TRUE(remote_listener().WaitForMessage(sync_test::kNotifyType));
  EXPECT_EQ(5, value);
}

// Requests served while blocked -------------------------------------------------------------

TEST_F(SyncChannelTest, PeerRequestWhileWaitingIsServedBeforeTheSendReturns) {
  ScriptLocalAnswers();
  // The peer asks back before it answers, blocking in a send of its own.
  remote_listener().On(sync_test::kAskBackType, [this](const Message& m) {
    int answer = -1;
    bool answered =
        remote_channel()->Send(NewIntRequest(sync_test::kQuestionType, IntInput(m), &answer));
    remote_listener().Reply(m, answered ? answer + 1 : -1);
  });

  int output = 0;
  EXPECT_TRUE(local_channel()->Send(NewIntRequest(sync_test::kAskBackType, 4, &output)));
  log_.Add("send returned");
  EXPECT_EQ(41, output);
  EXPECT_THAT(log_.events(), ElementsAre("question served", "send returned"));
}

// The peer answers the outer request while the test thread waits for an inner one: that reply
// is held and completes the outer send only once the inner send has returned.
class NestedSendTest : public SyncChannelTest, public testing::WithParamInterface<bool> {
 protected:
  NestedSendTest() : pump_messages_(true, true) {}

  // With the parameter set, both sends wait in a nested loop instead of blocking.
  SyncMessage* NewRequest(uint32_t type, int* output) {
    SyncMessage* request = NewIntRequest(type, 0, output);
    if (GetParam())
      request->set_pump_messages_event(&pump_messages_);
    return request;
  }

  base::WaitableEvent pump_messages_;
};

TEST_P(NestedSendTest, ReplyForTheOuterSendIsHeldUntilTheInnerOneReturns) {
  scoped_ptr<Message> outer_request;
  remote_listener().On(sync_test::kOuterType, [&](const Message& m) {
    outer_request.reset(new Message(m));
    int unused = 0;
    remote_channel()->Send(NewIntRequest(sync_test::kQuestionType, 0, &unused));
  });
  remote_listener().On(sync_test::kInnerType, [&](const Message& m) {
    remote_listener().Reply(*outer_request, 100);
    log_.Add("outer reply sent");
    remote_listener().Reply(m, 200);
    log_.Add("inner reply sent");
  });
  local_listener().On(sync_test::kQuestionType, [this](const Message& m) {
    int inner = 0;
    bool sent = local_channel()->Send(NewRequest(sync_test::kInnerType, &inner));
    log_.Add("inner returned " + std::to_string(sent) + " " + std::to_string(inner));
    local_listener().Reply(m, 0);
  });

  int outer = 0;
  bool sent = local_channel()->Send(NewRequest(sync_test::kOuterType, &outer));
  log_.Add("outer returned " + std::to_string(sent) + " " + std::to_string(outer));
  EXPECT_THAT(log_.events(), ElementsAre("outer reply sent", "inner reply sent",
                                         "inner returned 1 200", "outer returned 1 100"));
}

INSTANTIATE_TEST_SUITE_P(BlockingAndPumping, NestedSendTest, testing::Bool());

TEST_F(SyncChannelTest, BlockingSendRunsNoOtherTaskOfTheThread) {
  ScriptDoubling();
  bool task_ran = false;
  loop_.PostTask(FROM_HERE, base::Bind(&SetFlag, &task_ran));
  int output = 0;
  EXPECT_TRUE(local_channel()->Send(NewIntRequest(sync_test::kDoubleType, 1, &output)));
  EXPECT_FALSE(task_ran);
  EXPECT_TRUE(RunUntil([&] { return task_ran; }));
}

TEST_F(SyncChannelTest, PumpingSendRunsTheThreadsTasksWhileItWaits) {
  base::WaitableEvent task_ran(true, false);
  // The peer answers only once the test thread has run its task, which it can only do while
  // it waits.
  remote_listener().On(sync_test::kDoubleType, [&](const Message& m) {
    bool ran = task_ran.TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs));
    remote_listener().Reply(m, ran ? 1 : 0);
  });
  loop_.PostTask(FROM_HERE, base::Bind(&base::WaitableEvent::Signal, base::Unretained(&task_ran)));

  base::WaitableEvent pump_messages(true, true);
  int output = -1;
  SyncMessage* request = NewIntRequest(sync_test::kDoubleType, 1, &output);
  request->set_pump_messages_event(&pump_messages);
  EXPECT_TRUE(local_channel()->Send(request));
  EXPECT_EQ(1, output);
}

TEST_F(SyncChannelTest, RequestsOnEverySyncChannelOfTheThreadAreServedWhileBlocked) {
  // A channel closed and then destroyed leaves the thread's queue to the others.
  ChannelPair* closed = AddPair();
  closed->local.channel->Close();
  closed->local.channel.reset();

  // The peer of a channel made afterwards asks its question through the first channel.
  ChannelPair* later = AddPair();
  ScriptLocalAnswers();
  later->remote.listener.On(sync_test::kAskBackType, [&](const Message& m) {
    int answer = -1;
    bool answered =
        remote_channel()->Send(NewIntRequest(sync_test::kQuestionType, IntInput(m), &answer));
    later->remote.listener.Reply(m, answered ? answer + 1 : -1);
  });

  int output = 0;
  EXPECT_TRUE(later->local.channel->Send(NewIntRequest(sync_test::kAskBackType, 2, &output)));
  EXPECT_EQ(21, output);
  EXPECT_THAT(log_.events(), ElementsAre("question served"));
}

// Giving up -----------------------------------------------------------------------------------

TEST_F(SyncChannelTest, ShutdownEventReleasesABlockedSendAndRefusesLaterOnes) {
  test::BackgroundThread signaller([this] {
    if (remote_listener().WaitForMessage(sync_test::kIgnoreType))
      local_shutdown_.Signal();
  });
  int output = 5;
  EXPECT_FALSE(local_channel()->Send(NewIntRequest(sync_test::kIgnoreType, 1, &output)));
  EXPECT_EQ(5, output);
  EXPECT_TRUE(signaller.Join());

  // Refused without going out: only the asynchronous message behind it reaches the peer.
  base::TimeTicks start = base::TimeTicks::Now();
  EXPECT_FALSE(local_channel()->Send(NewIntRequest(sync_test::kDoubleType, 1, &output)));
  EXPECT_LT(Since(start).InMilliseconds(), 1000);
  EXPECT_TRUE(local_channel()->Send(NewNotification(1)));
  ASSERT_TRUE(remote_listener().WaitForMessage(sync_test::kNotifyType));
  EXPECT_THAT(remote_listener().received(),
              ElementsAre(sync_test::kIgnoreType, sync_test::kNotifyType));
}

TEST_F(SyncChannelTest, SendWithTimeoutGivesUpAndItsLateReplyDisturbsNothing) {
  const int kTimeoutMs = 100;
  ScriptDoubling();
  scoped_ptr<Message> unanswered;
  remote_listener().On(sync_test::kIgnoreType,
                       [&](const Message& m) { unanswered.reset(new Message(m)); });

  int output = 5;
  base::TimeTicks start = base::TimeTicks::Now();
  EXPECT_FALSE(local_channel()->SendWithTimeout(
      NewIntRequest(sync_test::kIgnoreType, 1, &output), kTimeoutMs));
  base::TimeDelta waited = Since(start);
  EXPECT_EQ(5, output);
  // Timer granularity may end the wait a tick early; a hang ends it at the deadline.
  EXPECT_GE(waited.InMilliseconds(), kTimeoutMs - 20);
  EXPECT_LT(waited.InMilliseconds(), static_cast<int64_t>(test::kDeadlineMs) / 2);

  ASSERT_TRUE(RunOnPeer([&] { remote_listener().Reply(*unanswered, 9); }));
  EXPECT_TRUE(local_channel()->SendWithTimeout(
      NewIntRequest(sync_test::kDoubleType, 3, &output), test::kDeadlineMs));
  EXPECT_EQ(6, output);
}

TEST_F(SyncChannelTest, ChannelErrorReleasesABlockedSend) {
  remote_listener().On(sync_test::kCloseType,
                       [this](const Message&) { remote_channel()->Close(); });
  int output = 5;
  EXPECT_FALSE(local_channel()->Send(NewIntRequest(sync_test::kCloseType, 1, &output)));
  EXPECT_EQ(5, output);
  EXPECT_TRUE(RunUntil([this] { return local_listener().errors() > 0; }));
  // A send on the failed channel fails too.
  EXPECT_FALSE(local_channel()->Send(NewIntRequest(sync_test::kDoubleType, 1, &output)));
}

TEST_F(SyncChannelTest, ChannelDeletedByARequestServedWhileBlockedReleasesTheSend) {
  ChannelPair* pair = AddPair();
  pair->remote.listener.On(sync_test::kAskBackType, [pair](const Message& m) {
    int answer = -1;
    pair->remote.channel->Send(NewIntRequest(sync_test::kQuestionType, 0, &answer));
    pair->remote.listener.Reply(m, answer);
  });
  pair->local.listener.On(sync_test::kQuestionType,
                          [pair](const Message&) { pair->local.channel.reset(); });
  int output = 5;
  SyncChannel* channel = pair->local.channel.get();
  EXPECT_FALSE(channel->Send(NewIntRequest(sync_test::kAskBackType, 1, &output)));
  EXPECT_EQ(5, output);
  EXPECT_EQ(nullptr, pair->local.channel.get());
}

TEST_F(SyncChannelTest, CopyOfARequestIsRefusedUnsent) {
  ScriptDoubling();
  int output = 5;
  scoped_ptr<SyncMessage> request(NewIntRequest(sync_test::kDoubleType, 1, &output));
  // A copy carries the sync bit but no reader for the reply.
  EXPECT_FALSE(local_channel()->Send(new Message(*request)));
  EXPECT_TRUE(local_channel()->Send(NewNotification(1)));
  ASSERT_TRUE(remote_listener().WaitForMessage(sync_test::kNotifyType));
  EXPECT_THAT(remote_listener().received(), ElementsAre(sync_test::kNotifyType));
  EXPECT_EQ(5, output);
}

TEST_F(SyncChannelTest, SendOnAClientNobodyServesFailsAtOnce) {
  sync_test::ScriptedListener listener;
  SyncChannel client(test::UniqueName("sync-nobody-"), Channel::kModeClient, &listener,
                     local_io_.message_loop_proxy().get(), true, &local_shutdown_);
  int output = 5;
  base::TimeTicks start = base::TimeTicks::Now();
  EXPECT_FALSE(client.Send(NewIntRequest(sync_test::kDoubleType, 1, &output)));
  EXPECT_LT(Since(start).InMilliseconds(), static_cast<int64_t>(test::kDeadlineMs) / 2);
  EXPECT_EQ(5, output);
}

TEST_F(SyncChannelTest, SendAfterCloseFailsAtOnce) {
  ScriptDoubling();
  local_channel()->Close();
  int output = 5;
  EXPECT_FALSE(local_channel()->Send(NewIntRequest(sync_test::kDoubleType, 1, &output)));
  EXPECT_EQ(5, output);
}

}  // namespace
}  // namespace IPC
