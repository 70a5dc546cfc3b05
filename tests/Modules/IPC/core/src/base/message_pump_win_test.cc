// The IO pump driven directly: wake-up packets, completions of real overlapped pipe IO,
// filtered waits and the turn order.
#include "base/message_pump_win.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/time.h"
#include "base/win/scoped_handle.h"
#include "support/background_thread.h"
#include "support/deadline.h"
#include "support/mock_ticks.h"
#include "support/raw_pipe.h"
#include "support/test_pump_delegate.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace {

using base::MessagePumpForIO;
using base::TimeDelta;
using base::TimeTicks;
using base::win::ScopedHandle;
using test::TestPumpDelegate;

using test::kDeadlineMs;

const char kHello[] = "hello";

// Both ends of a fresh named pipe, each opened for overlapped IO.
struct PipePair {
  PipePair() {
    std::wstring name = L"\\\\.\\pipe\\" + test::UniqueWideName(L"pump_test.");
    server.Listen(name);
    client.Open(name);
  }

  test::RawPipe server;
  test::RawPipe client;
};

// Starts a read into |buffer| that completes through the pump's port.
bool StartRead(HANDLE file, MessagePumpForIO::IOContext* context, char* buffer, DWORD size) {
  return ReadFile(file, buffer, size, nullptr, &context->overlapped) ||
         GetLastError() == ERROR_IO_PENDING;
}

// Waits until the OS has finished the operation of |context|, so that its completion packet
// is in the port before the test goes on.
bool WaitUntilDone(const MessagePumpForIO::IOContext& context) {
  return test::WaitUntil([&context] { return HasOverlappedIoCompleted(&context.overlapped); },
                         kDeadlineMs);
}

struct Completion {
  MessagePumpForIO::IOContext* context;
  DWORD bytes;
  DWORD error;
};

// Records every completion and marks it in a shared order string.
class RecordingHandler : public MessagePumpForIO::IOHandler {
 public:
  RecordingHandler(char mark, std::string* order) : mark_(mark), order_(order) {}

  void OnIOCompleted(MessagePumpForIO::IOContext* context, DWORD bytes, DWORD error) override {
    completions_.push_back(Completion{context, bytes, error});
    *order_ += mark_;
  }

  std::vector<Completion> completions_;

 private:
  char mark_;
  std::string* order_;
};

class CountingIOObserver : public MessagePumpForIO::IOObserver {
 public:
  void WillProcessIOEvent() override { ++will_; }
  void DidProcessIOEvent() override { ++did_; }
  int will_ = 0;
  int did_ = 0;
};

class MessagePumpForIOTest : public testing::Test {
 protected:
  MessagePumpForIOTest() : pump_(new MessagePumpForIO) {}

  scoped_refptr<MessagePumpForIO> pump_;
  std::string order_;
};

TEST_F(MessagePumpForIOTest, OwnWakeUpPacketNeverReachesAHandler) {
  PipePair pipe;
  RecordingHandler handler('a', &order_);
  ASSERT_TRUE(pump_->RegisterIOHandler(pipe.server.handle(), &handler));
  CountingIOObserver observer;
  pump_->AddIOObserver(&observer);

  pump_->ScheduleWork();
  pump_->ScheduleWork();
  pump_->ScheduleWork();
  // One packet for all three, consumed as work but handed to nobody.
  EXPECT_TRUE(pump_->WaitForIOCompletion(0, nullptr));
  EXPECT_FALSE(pump_->WaitForIOCompletion(0, nullptr));
  // Consuming it cleared the flag: the next wake-up posts a packet again.
  pump_->ScheduleWork();
  EXPECT_TRUE(pump_->WaitForIOCompletion(0, &handler));
  EXPECT_FALSE(pump_->WaitForIOCompletion(0, nullptr));

  EXPECT_TRUE(handler.completions_.empty());
  EXPECT_EQ(0, observer.will_);
  pump_->RemoveIOObserver(&observer);
}

TEST_F(MessagePumpForIOTest, RealOverlappedPipeIOCompletesThroughTheRegisteredHandler) {
  PipePair pipe;
  RecordingHandler handler('a', &order_);
  ASSERT_TRUE(pump_->RegisterIOHandler(pipe.server.handle(), &handler));
  CountingIOObserver observer;
  pump_->AddIOObserver(&observer);

  MessagePumpForIO::IOContext read_context;
  read_context.handler = &handler;
  char buffer[64] = {};
  ASSERT_TRUE(StartRead(pipe.server.handle(), &read_context, buffer, sizeof(buffer)));
  ASSERT_TRUE(pipe.client.Write(kHello, sizeof(kHello)));
  ASSERT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, nullptr));

  ASSERT_EQ(1u, handler.completions_.size());
  EXPECT_EQ(&read_context, handler.completions_[0].context);
  EXPECT_EQ(sizeof(kHello), handler.completions_[0].bytes);
  EXPECT_EQ(0u, handler.completions_[0].error);
  EXPECT_STREQ(kHello, buffer);
  EXPECT_EQ(1, observer.will_);
  EXPECT_EQ(1, observer.did_);

  // The other direction completes through the same handler.
  MessagePumpForIO::IOContext write_context;
  write_context.handler = &handler;
  ASSERT_TRUE(WriteFile(pipe.server.handle(), kHello, sizeof(kHello), nullptr,
                        &write_context.overlapped) ||
              GetLastError() == ERROR_IO_PENDING);
  ASSERT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, nullptr));
  ASSERT_EQ(2u, handler.completions_.size());
  EXPECT_EQ(&write_context, handler.completions_[1].context);
  EXPECT_EQ(sizeof(kHello), handler.completions_[1].bytes);
  pump_->RemoveIOObserver(&observer);
}

TEST_F(MessagePumpForIOTest, FailedIOReachesItsHandlerWithTheErrorAndNoBytes) {
  PipePair pipe;
  RecordingHandler handler('a', &order_);
  ASSERT_TRUE(pump_->RegisterIOHandler(pipe.server.handle(), &handler));

  MessagePumpForIO::IOContext context;
  context.handler = &handler;
  char buffer[64];
  ASSERT_TRUE(StartRead(pipe.server.handle(), &context, buffer, sizeof(buffer)));
  pipe.client.Close();
  ASSERT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, nullptr));

  ASSERT_EQ(1u, handler.completions_.size());
  EXPECT_EQ(&context, handler.completions_[0].context);
  EXPECT_EQ(0u, handler.completions_[0].bytes);
  EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), handler.completions_[0].error);
}

TEST_F(MessagePumpForIOTest, RegisteringAFileWithoutOverlappedIOFails) {
  // A handle that is no file at all cannot join a port.
  ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  RecordingHandler handler('a', &order_);
  EXPECT_FALSE(pump_->RegisterIOHandler(event.Get(), &handler));
}

// One pipe with its handler and a read pending on it.
struct PendingRead {
  PendingRead(MessagePumpForIO* pump, char mark, std::string* order) : handler(mark, order) {
    context.handler = &handler;
    registered = pump->RegisterIOHandler(pipe.server.handle(), &handler) &&
                 StartRead(pipe.server.handle(), &context, buffer, sizeof(buffer));
  }

  // Completes the read and waits until its packet is queued.
  bool Complete() {
    return pipe.client.Write(kHello, sizeof(kHello)) && WaitUntilDone(context);
  }

  PipePair pipe;
  RecordingHandler handler;
  MessagePumpForIO::IOContext context;
  char buffer[64] = {};
  bool registered = false;
};

TEST_F(MessagePumpForIOTest, FilteredWaitSetsOtherCompletionsAsideForTheNextUnfilteredTurn) {
  PendingRead a(pump_.get(), 'a', &order_);
  PendingRead b(pump_.get(), 'b', &order_);
  PendingRead c(pump_.get(), 'c', &order_);
  ASSERT_TRUE(a.registered && b.registered && c.registered);

  // The port holds b's completion, then a's, then c's.
  ASSERT_TRUE(b.Complete());
  ASSERT_TRUE(a.Complete());
  ASSERT_TRUE(c.Complete());

  // Waiting for a alone: b's completion is set aside, then a's is delivered.
  EXPECT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, &a.handler));
  EXPECT_EQ("", order_);
  EXPECT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, &a.handler));
  EXPECT_EQ("a", order_);

  // The next unfiltered turn hands out b before it reads c from the port.
  EXPECT_TRUE(pump_->WaitForIOCompletion(0, nullptr));
  EXPECT_EQ("ab", order_);
  EXPECT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, nullptr));
  EXPECT_EQ("abc", order_);
  EXPECT_FALSE(pump_->WaitForIOCompletion(0, nullptr));

  ASSERT_EQ(1u, b.handler.completions_.size());
  EXPECT_EQ(&b.context, b.handler.completions_[0].context);
  EXPECT_EQ(sizeof(kHello), b.handler.completions_[0].bytes);
}

TEST_F(MessagePumpForIOTest, FilteredWaitTakesItsOwnCompletionFromTheSetAsideList) {
  PendingRead a(pump_.get(), 'a', &order_);
  PendingRead b(pump_.get(), 'b', &order_);
  ASSERT_TRUE(a.registered && b.registered);
  ASSERT_TRUE(a.Complete());
  ASSERT_TRUE(b.Complete());

  // Waiting for b sets a aside; a later wait for a finds it there.
  EXPECT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, &b.handler));
  EXPECT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, &b.handler));
  EXPECT_EQ("b", order_);
  EXPECT_TRUE(pump_->WaitForIOCompletion(0, &a.handler));
  EXPECT_EQ("ba", order_);
}

TEST_F(MessagePumpForIOTest, CompletionOfAContextWhoseOwnerIsGoneIsFreedAndCountsAsWork) {
  PipePair pipe;
  RecordingHandler handler('a', &order_);
  ASSERT_TRUE(pump_->RegisterIOHandler(pipe.server.handle(), &handler));
  CountingIOObserver observer;
  pump_->AddIOObserver(&observer);

  static char buffer[64];
  MessagePumpForIO::IOContext* context = new MessagePumpForIO::IOContext;
  context->handler = &handler;
  ASSERT_TRUE(StartRead(pipe.server.handle(), context, buffer, sizeof(buffer)));
  // The owner goes away and leaves the context to the pump.
  context->handler = nullptr;
  ASSERT_TRUE(pipe.client.Write(kHello, sizeof(kHello)));

  EXPECT_TRUE(pump_->WaitForIOCompletion(kDeadlineMs, nullptr));
  EXPECT_TRUE(handler.completions_.empty());
  EXPECT_EQ(0, observer.will_);
  pump_->RemoveIOObserver(&observer);
}

TEST_F(MessagePumpForIOTest, TurnRunsWorkThenOneCompletionThenDelayedWork) {
  TestPumpDelegate delegate(pump_.get());
  delegate.SetDeadline(TimeDelta::FromMilliseconds(kDeadlineMs));
  PendingRead read(pump_.get(), 'o', &order_);
  ASSERT_TRUE(read.registered);

  struct Note {
    static void Task(TestPumpDelegate* delegate) { delegate->Note('T'); }
  };
  // The post queues the wake-up packet ahead of the completion.
  delegate.PostTask(base::Bind(&Note::Task, &delegate));
  ASSERT_TRUE(read.Complete());
  delegate.QuitWhenIdle();
  pump_->Run(&delegate);

  // Turn 1 runs the task and consumes the wake-up; turn 2 delivers the completion; turn 3
  // finds nothing and quits at idle.
  EXPECT_EQ("o", order_);
  EXPECT_EQ("wTdwdwdi", delegate.calls());
  EXPECT_FALSE(delegate.timed_out());
}

TEST_F(MessagePumpForIOTest, ScheduleWorkFromAnotherThreadWakesAnEndlessWait) {
  EXPECT_EQ(1, test::RunWokenFromAnotherThread(pump_.get()));
}

void RunNestedUntilIdle(MessagePumpForIO* pump, TestPumpDelegate* outer) {
  TestPumpDelegate inner(pump);
  inner.PostTask(inner.QuitWhenIdleTask());
  pump->Run(&inner);
  outer->Note('N');
}

TEST_F(MessagePumpForIOTest, NestedRunThatQuitsLeavesTheOuterRunRunning) {
  TestPumpDelegate delegate(pump_.get());
  delegate.SetDeadline(TimeDelta::FromMilliseconds(kDeadlineMs));
  delegate.PostTask(base::Bind(&RunNestedUntilIdle, pump_.get(), &delegate));
  delegate.PostTask(delegate.QuitWhenIdleTask());
  pump_->Run(&delegate);

  EXPECT_FALSE(delegate.timed_out());
  EXPECT_EQ(2, delegate.tasks_run());
  EXPECT_NE(std::string::npos, delegate.calls().find('N'));
}

// Exposes the delay that the pump's waits are computed from.
class DelayProbe : public MessagePumpForIO {
 public:
  using MessagePumpForIO::GetCurrentDelay;
};

TEST(MessagePumpWinDelayTest, CurrentDelayIsRoundedUpAndNeverNegative) {
  test::ScopedMockTicks ticks;
  {
    scoped_refptr<DelayProbe> pump(new DelayProbe);
    EXPECT_EQ(-1, pump->GetCurrentDelay());

    const TimeTicks now = TimeTicks::Now();
    pump->ScheduleDelayedWork(now + TimeDelta::FromMicroseconds(5500));
    EXPECT_EQ(6, pump->GetCurrentDelay());
    pump->ScheduleDelayedWork(now + TimeDelta::FromMicroseconds(1));
    EXPECT_EQ(1, pump->GetCurrentDelay());
    pump->ScheduleDelayedWork(now + TimeDelta::FromMilliseconds(7));
    EXPECT_EQ(7, pump->GetCurrentDelay());
    pump->ScheduleDelayedWork(now - TimeDelta::FromMilliseconds(3));
    EXPECT_EQ(0, pump->GetCurrentDelay());
  }
}

}  // namespace
