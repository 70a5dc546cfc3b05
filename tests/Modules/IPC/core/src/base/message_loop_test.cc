// Ordering, nesting, quitting and teardown of message loops, on each loop type.
#include "base/message_loop_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/waitable_event.h"
#include "base/thread_task_runner_handle.h"
#include "base/threading/thread.h"
#include "base/time.h"
#include "support/mock_ticks.h"
#include "support/thread_runner.h"

namespace {

using base::Bind;
using base::TimeDelta;
using base::TimeTicks;

typedef std::vector<std::string> Order;

void Record(Order* order, const std::string& name) {
  order->push_back(name);
}

base::Closure RecordTask(Order* order, const char* name) {
  return Bind(&Record, order, std::string(name));
}

void RecordAndQuit(Order* order, const std::string& name) {
  order->push_back(name);
  MessageLoop::current()->Quit();
}

void RecordAndQuitNow(Order* order, const std::string& name) {
  order->push_back(name);
  MessageLoop::current()->QuitNow();
}

void PostTaskFromTask(Order* order, const std::string& name, const base::Closure& task) {
  order->push_back(name);
  MessageLoop::current()->PostTask(FROM_HERE, task);
}

// Records its own destruction, and optionally posts a task to the current loop as it dies.
class DeathNote {
 public:
  DeathNote(Order* order, const std::string& name) : order_(order), name_(name) {}
  ~DeathNote() {
    order_->push_back("~" + name_);
    if (!task_on_death_.is_null())
      MessageLoop::current()->PostTask(FROM_HERE, task_on_death_);
  }
  void set_task_on_death(const base::Closure& task) { task_on_death_ = task; }

 private:
  Order* order_;
  std::string name_;
  base::Closure task_on_death_;
};

void Touch(DeathNote*) {}

// A task that owns a DeathNote.
base::Closure OwningTask(DeathNote* note) {
  return Bind(&Touch, base::Owned(note));
}

std::string TypeName(const testing::TestParamInfo<MessageLoop::Type>& info) {
  switch (info.param) {
    case MessageLoop::TYPE_UI:
      return "UI";
    case MessageLoop::TYPE_IO:
      return "IO";
    case MessageLoop::TYPE_DEFAULT:
      break;
  }
  return "Default";
}

// Behaviour that is the loop's own, whatever pump it runs on.
class MessageLoopTest : public testing::TestWithParam<MessageLoop::Type> {};

INSTANTIATE_TEST_SUITE_P(AllTypes,
                         MessageLoopTest,
                         testing::Values(MessageLoop::TYPE_DEFAULT,
                                         MessageLoop::TYPE_UI,
                                         MessageLoop::TYPE_IO),
                         TypeName);

// Behaviour that also rests on the pump calling DoWork once, then DoDelayedWork once, per
// turn: the default and IO pumps. The window-message pump also does work from its have-work
// message, so its turns may run two immediate tasks.
class MessageLoopTurnOrderTest : public testing::TestWithParam<MessageLoop::Type> {};

INSTANTIATE_TEST_SUITE_P(DefaultAndIO,
                         MessageLoopTurnOrderTest,
                         testing::Values(MessageLoop::TYPE_DEFAULT, MessageLoop::TYPE_IO),
                         TypeName);

TEST_P(MessageLoopTest, ImmediateTasksRunInPostingOrder) {
  MessageLoop loop(GetParam());
  Order order;
  loop.PostTask(FROM_HERE, RecordTask(&order, "A"));
  loop.PostTask(FROM_HERE, RecordTask(&order, "B"));
  loop.PostTask(FROM_HERE, RecordTask(&order, "C"));
  loop.RunAllPending();
  EXPECT_EQ((Order{"A", "B", "C"}), order);
}

TEST_P(MessageLoopTest, DelayedTasksRunByRunTimeAndEqualDelaysInPostingOrder) {
  test::ScopedMockTicks ticks;
  MessageLoop loop(GetParam());
  Order order;
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "late"), 20);
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "D1"), 5);
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "D2"), 5);
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "D3"), TimeDelta::FromMilliseconds(5));
  loop.RunAllPending();
  EXPECT_TRUE(order.empty());

  ticks.Advance(20);
  loop.RunAllPending();
  EXPECT_EQ((Order{"D1", "D2", "D3", "late"}), order);
}

TEST_P(MessageLoopTest, OneMicrosecondDelayWaitsOneMillisecondAndZeroRunsAtOnce) {
  test::ScopedMockTicks ticks;
  MessageLoop loop(GetParam());
  Order order;
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "1us"), TimeDelta::FromMicroseconds(1));
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "0"), TimeDelta());
  loop.RunAllPending();
  EXPECT_EQ((Order{"0"}), order);

  ticks.Advance(1);
  loop.RunAllPending();
  EXPECT_EQ((Order{"0", "1us"}), order);
}

TEST_P(MessageLoopTurnOrderTest, ImmediateAndDueDelayedTasksAlternateOneForOne) {
  test::ScopedMockTicks ticks;
  MessageLoop loop(GetParam());
  Order order;
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "D1"), 1);
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "D2"), 1);
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "D3"), 1);
  loop.PostTask(FROM_HERE, RecordTask(&order, "I1"));
  loop.PostTask(FROM_HERE, RecordTask(&order, "I2"));
  loop.PostTask(FROM_HERE, RecordTask(&order, "I3"));
  ticks.Advance(1);
  loop.RunAllPending();
  EXPECT_EQ((Order{"I1", "D1", "I2", "D2", "I3", "D3"}), order);
}

TEST_P(MessageLoopTest, RunAllPendingRunsWhatIsReadyAndLeavesTasksNotYetDue) {
  test::ScopedMockTicks ticks;
  MessageLoop loop(GetParam());
  Order order;
  loop.PostDelayedTask(FROM_HERE, RecordTask(&order, "later"), 10);
  loop.PostTask(FROM_HERE, Bind(&PostTaskFromTask, &order, std::string("A"),
                                RecordTask(&order, "posted by A")));
  loop.PostTask(FROM_HERE, RecordTask(&order, "B"));
  loop.PostTask(FROM_HERE, RecordTask(&order, "C"));
  loop.RunAllPending();
  EXPECT_EQ((Order{"A", "B", "C", "posted by A"}), order);

  ticks.Advance(10);
  loop.RunAllPending();
  EXPECT_EQ("later", order.back());
}

TEST_P(MessageLoopTest, QuitLetsReadyTasksFinish) {
  MessageLoop loop(GetParam());
  Order order;
  loop.PostTask(FROM_HERE, Bind(&RecordAndQuit, &order, std::string("quit")));
  loop.PostTask(FROM_HERE, Bind(&PostTaskFromTask, &order, std::string("B"),
                                RecordTask(&order, "posted by B")));
  loop.PostTask(FROM_HERE, RecordTask(&order, "C"));
  loop.Run();
  EXPECT_EQ((Order{"quit", "B", "C", "posted by B"}), order);
  EXPECT_FALSE(loop.is_running());
}

TEST_P(MessageLoopTest, QuitNowReturnsAfterTheCurrentTaskLeavingTheRestQueued) {
  MessageLoop loop(GetParam());
  Order order;
  loop.PostTask(FROM_HERE, Bind(&RecordAndQuitNow, &order, std::string("quit now")));
  loop.PostTask(FROM_HERE, RecordTask(&order, "B"));
  loop.Run();
  EXPECT_EQ((Order{"quit now"}), order);

  loop.RunAllPending();
  EXPECT_EQ((Order{"quit now", "B"}), order);
}

TEST_P(MessageLoopTest, QuitClosureQuitsWhenIdle) {
  MessageLoop loop(GetParam());
  Order order;
  loop.PostTask(FROM_HERE, MessageLoop::QuitClosure());
  loop.PostTask(FROM_HERE, RecordTask(&order, "A"));
  loop.Run();
  EXPECT_EQ((Order{"A"}), order);
}

TEST_P(MessageLoopTest, QuitAndQuitNowOutsideARunDoNothing) {
  MessageLoop loop(GetParam());
  Order order;
  loop.Quit();
  loop.QuitNow();
  loop.PostTask(FROM_HERE, RecordTask(&order, "A"));
  loop.PostTask(FROM_HERE, Bind(&RecordAndQuit, &order, std::string("quit")));
  loop.Run();
  EXPECT_EQ((Order{"A", "quit"}), order);
}

void NestedRunWithNonNestableTask(Order* order) {
  MessageLoop* loop = MessageLoop::current();
  EXPECT_FALSE(loop->IsNested());
  loop->PostNonNestableTask(FROM_HERE, RecordTask(order, "non-nestable"));
  loop->PostTask(FROM_HERE, RecordTask(order, "nestable"));
  loop->SetNestableTasksAllowed(true);
  loop->RunAllPending();
  loop->SetNestableTasksAllowed(false);
  order->push_back("outer task done");
}

TEST_P(MessageLoopTest, NonNestableTaskWaitsUntilTheNestedRunHasEnded) {
  MessageLoop loop(GetParam());
  Order order;
  loop.PostTask(FROM_HERE, Bind(&NestedRunWithNonNestableTask, &order));
  loop.RunAllPending();
  EXPECT_EQ((Order{"nestable", "outer task done", "non-nestable"}), order);
}

void NestedRunWithoutNestableTasks(Order* order) {
  MessageLoop* loop = MessageLoop::current();
  loop->PostTask(FROM_HERE, RecordTask(order, "A"));
  loop->RunAllPending();
  order->push_back("nested run returned");
}

TEST_P(MessageLoopTest, NestedRunWithoutNestableTasksAllowedRunsNothing) {
  MessageLoop loop(GetParam());
  Order order;
  loop.PostTask(FROM_HERE, Bind(&NestedRunWithoutNestableTasks, &order));
  loop.RunAllPending();
  EXPECT_EQ((Order{"nested run returned", "A"}), order);
}

void RecordNesting(std::vector<bool>* nested) {
  nested->push_back(MessageLoop::current()->IsNested());
}

void RunNested(std::vector<bool>* nested) {
  RecordNesting(nested);
  MessageLoop* loop = MessageLoop::current();
  loop->PostTask(FROM_HERE, Bind(&RecordNesting, nested));
  bool old_state = loop->NestableTasksAllowed();
  loop->SetNestableTasksAllowed(true);
  loop->RunAllPending();
  loop->SetNestableTasksAllowed(old_state);
}

TEST_P(MessageLoopTest, IsNestedOnlyInsideANestedRun) {
  MessageLoop loop(GetParam());
  std::vector<bool> nested;
  EXPECT_FALSE(loop.is_running());
  loop.PostTask(FROM_HERE, Bind(&RunNested, &nested));
  loop.RunAllPending();
  EXPECT_EQ((std::vector<bool>{false, true}), nested);
}

TEST_P(MessageLoopTest, DeleteSoonAndReleaseSoonActWhenTheLoopRuns) {
  class Counted : public base::RefCountedThreadSafe<Counted> {
   public:
    explicit Counted(bool* deleted) : deleted_(deleted) {}

   private:
    friend class base::RefCountedThreadSafe<Counted>;
    ~Counted() { *deleted_ = true; }
    bool* deleted_;
  };

  MessageLoop loop(GetParam());
  Order order;
  loop.DeleteSoon(FROM_HERE, new DeathNote(&order, "deleted soon"));
  bool released = false;
  Counted* counted = new Counted(&released);
  counted->AddRef();
  loop.ReleaseSoon(FROM_HERE, counted);
  EXPECT_TRUE(order.empty());
  EXPECT_FALSE(released);

  loop.RunAllPending();
  EXPECT_EQ((Order{"~deleted soon"}), order);
  EXPECT_TRUE(released);
}

const int kCrossThreadTasks = 500;

void PostManyThenQuit(base::MessageLoopProxy* target, Order* order) {
  for (int i = 0; i < kCrossThreadTasks; ++i)
    target->PostTask(FROM_HERE, RecordTask(order, "task"));
  target->PostTask(FROM_HERE, Bind(&RecordAndQuit, order, std::string("quit")));
}

TEST_P(MessageLoopTest, TasksFromAnotherThreadWakeTheLoopAndRunInOrder) {
  MessageLoop loop(GetParam());
  Order order;
  base::Thread poster("poster");
  ASSERT_TRUE(poster.Start());
  // The loop is asleep by the time the posts arrive.
  poster.message_loop()->PostDelayedTask(
      FROM_HERE, Bind(&PostManyThenQuit, loop.message_loop_proxy(), &order), 50);
  // Should a wake-up be lost, this ends the run and the test fails instead of hanging.
  loop.PostDelayedTask(FROM_HERE, Bind(&RecordAndQuitNow, &order, std::string("deadline")),
                       test::kDeadlineMs);
  loop.Run();
  poster.Stop();
  ASSERT_EQ(static_cast<size_t>(kCrossThreadTasks + 1), order.size());
  EXPECT_EQ("quit", order.back());
}

TEST_P(MessageLoopTest, DestroyedLoopDestroysTasksUnrunIncludingThoseTheirDestructionPosts) {
  Order order;
  {
    MessageLoop loop(GetParam());
    DeathNote* first = new DeathNote(&order, "first");
    first->set_task_on_death(
        Bind(&PostTaskFromTask, &order, std::string("ran"), base::Closure()));
    loop.PostTask(FROM_HERE, OwningTask(first));
    DeathNote* second = new DeathNote(&order, "second");
    second->set_task_on_death(OwningTask(new DeathNote(&order, "posted by second")));
    loop.PostDelayedTask(FROM_HERE, OwningTask(second), 10000);
  }
  EXPECT_EQ((Order{"~first", "~second", "~posted by second"}), order);
}

TEST_P(MessageLoopTest, DelayedTasksDieInTheOrderTheyWouldHaveRun) {
  Order order;
  {
    MessageLoop loop(GetParam());
    loop.PostDelayedTask(FROM_HERE, OwningTask(new DeathNote(&order, "20 s")), 20000);
    loop.PostDelayedTask(FROM_HERE, OwningTask(new DeathNote(&order, "10 s")), 10000);
    loop.PostDelayedTask(FROM_HERE, OwningTask(new DeathNote(&order, "10 s again")), 10000);
  }
  EXPECT_EQ((Order{"~10 s", "~10 s again", "~20 s"}), order);
}

class RecordingDestructionObserver : public MessageLoop::DestructionObserver {
 public:
  explicit RecordingDestructionObserver(Order* order) : order_(order), loop_(nullptr) {}

  // Observes |loop|, which this observer must outlive.
  void Observe(MessageLoop* loop) {
    loop_ = loop;
    loop->AddDestructionObserver(this);
  }

  void WillDestroyCurrentMessageLoop() override {
    order_->push_back(MessageLoop::current() == loop_ ? "told on its loop" : "told elsewhere");
  }

 private:
  Order* order_;
  MessageLoop* loop_;
};

TEST_P(MessageLoopTest, DestructionObserversAreToldAfterThePendingTasksAreGone) {
  Order order;
  RecordingDestructionObserver told(&order);
  RecordingDestructionObserver removed(&order);
  {
    MessageLoop loop(GetParam());
    told.Observe(&loop);
    removed.Observe(&loop);
    loop.RemoveDestructionObserver(&removed);
    loop.PostTask(FROM_HERE, OwningTask(new DeathNote(&order, "pending")));
  }
  EXPECT_EQ((Order{"~pending", "told on its loop"}), order);
}

class RecordingTaskObserver : public MessageLoop::TaskObserver {
 public:
  explicit RecordingTaskObserver(Order* order) : order_(order) {}
  void WillRunTask(TimeTicks time_posted) override {
    order_->push_back("will");
    times_.push_back(time_posted);
  }
  void DidRunTask(TimeTicks time_posted) override {
    order_->push_back("did");
    times_.push_back(time_posted);
  }
  const std::vector<TimeTicks>& times() const { return times_; }

 private:
  Order* order_;
  std::vector<TimeTicks> times_;
};

TEST_P(MessageLoopTest, TaskObserversAreToldAroundEveryTaskWithItsPostingTime) {
  test::ScopedMockTicks ticks;
  MessageLoop loop(GetParam());
  Order order;
  RecordingTaskObserver observer(&order);
  loop.AddTaskObserver(&observer);
  const TimeTicks posted = TimeTicks::Now();
  loop.PostTask(FROM_HERE, RecordTask(&order, "task"));
  ticks.Advance(7);
  loop.RunAllPending();
  loop.RemoveTaskObserver(&observer);
  loop.PostTask(FROM_HERE, RecordTask(&order, "unobserved"));
  loop.RunAllPending();
  EXPECT_EQ((Order{"will", "task", "did", "unobserved"}), order);
  EXPECT_EQ((std::vector<TimeTicks>{posted, posted}), observer.times());
}

TEST(MessageLoopCurrentTest, ALaterLoopReplacesTheFirstAndOutlivesIt) {
  EXPECT_EQ(nullptr, MessageLoop::current());
  MessageLoop* first = new MessageLoop();
  EXPECT_EQ(first, MessageLoop::current());
  {
    MessageLoop second;
    EXPECT_EQ(&second, MessageLoop::current());
    delete first;
    EXPECT_EQ(&second, MessageLoop::current());
    EXPECT_EQ(second.message_loop_proxy(), base::ThreadTaskRunnerHandle::Get());
  }
  EXPECT_EQ(nullptr, MessageLoop::current());
  EXPECT_FALSE(base::ThreadTaskRunnerHandle::IsSet());
}

class RecordingDispatcher : public base::MessagePumpDispatcher {
 public:
  explicit RecordingDispatcher(UINT quit_message) : quit_message_(quit_message) {}
  bool Dispatch(const MSG& msg) override {
    messages_.push_back(msg.message);
    return msg.message != quit_message_;
  }
  const std::vector<UINT>& messages() const { return messages_; }

 private:
  UINT quit_message_;
  std::vector<UINT> messages_;
};

TEST(MessageLoopForUITest, RunWithDispatcherHandsThreadMessagesToTheDispatcher) {
  const UINT kFirst = WM_APP + 1;
  const UINT kLast = WM_APP + 2;
  MessageLoopForUI loop;
  RecordingDispatcher dispatcher(kLast);
  Order order;
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), kFirst, 0, 0));
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), kLast, 0, 0));
  loop.PostDelayedTask(FROM_HERE, Bind(&RecordAndQuitNow, &order, std::string("deadline")),
                       test::kDeadlineMs);
  loop.RunWithDispatcher(&dispatcher);
  EXPECT_EQ((std::vector<UINT>{kFirst, kLast}), dispatcher.messages());
}

TEST(MessageLoopForUITest, RunAllPendingWithDispatcherReturnsWhenIdle) {
  MessageLoopForUI loop;
  RecordingDispatcher dispatcher(0);
  Order order;
  loop.PostTask(FROM_HERE, RecordTask(&order, "task"));
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0));
  loop.RunAllPendingWithDispatcher(&dispatcher);
  EXPECT_EQ((Order{"task"}), order);
  EXPECT_EQ((std::vector<UINT>{WM_APP}), dispatcher.messages());
}

#if defined(__i386__) || defined(_M_IX86)

// An exception code of the test's own, raised continuable.
const DWORD kTestException = 0xE0544553;

LONG WINAPI FirstFilter(EXCEPTION_POINTERS*) {
  return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI ReplacementFilter(EXCEPTION_POINTERS*) {
  return EXCEPTION_CONTINUE_SEARCH;
}

LPTOP_LEVEL_EXCEPTION_FILTER TopFilter() {
  LPTOP_LEVEL_EXCEPTION_FILTER filter = ::SetUnhandledExceptionFilter(nullptr);
  ::SetUnhandledExceptionFilter(filter);
  return filter;
}

// A structured-exception frame around the loop's run that takes the test's exception, notes
// which top-level filter was installed by the time the exception reached it, and resumes the
// raising task.
struct ResumingFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  LPTOP_LEVEL_EXCEPTION_FILTER seen_filter;
};

EXCEPTION_DISPOSITION NTAPI ResumeTestException(EXCEPTION_RECORD* exception,
                                                void* frame,
                                                CONTEXT*,
                                                void*) {
  if (exception->ExceptionCode != kTestException ||
      (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)))
    return ExceptionContinueSearch;
  static_cast<ResumingFrame*>(frame)->seen_filter = TopFilter();
  return ExceptionContinueExecution;
}

NT_TIB* ThreadInformationBlock() {
#if defined(_MSC_VER)
  return reinterpret_cast<NT_TIB*>(::NtCurrentTeb());
#else
  // GCC 12 takes NtCurrentTeb's segment-relative read for an out-of-bounds access.
  NT_TIB* tib;
  __asm__("movl %%fs:0x18, %0" : "=r"(tib));
  return tib;
#endif
}

void ReplaceFilterAndRaise() {
  ::SetUnhandledExceptionFilter(&ReplacementFilter);
  ::RaiseException(kTestException, 0, 0, nullptr);
}

// The filter that an exception passing the loop's run finds installed.
LPTOP_LEVEL_EXCEPTION_FILTER FilterSeenByPassingException(bool exception_restoration) {
  LPTOP_LEVEL_EXCEPTION_FILTER previous = ::SetUnhandledExceptionFilter(&FirstFilter);
  ResumingFrame frame = {};
  {
    MessageLoop loop;
    loop.set_exception_restoration(exception_restoration);
    loop.PostTask(FROM_HERE, Bind(&ReplaceFilterAndRaise));
    NT_TIB* tib = ThreadInformationBlock();
    frame.record.Next = tib->ExceptionList;
    frame.record.Handler = &ResumeTestException;
    tib->ExceptionList = &frame.record;
    loop.RunAllPending();
    tib->ExceptionList = frame.record.Next;
  }
  ::SetUnhandledExceptionFilter(previous);
  return frame.seen_filter;
}

TEST(MessageLoopExceptionRestorationTest, PassingExceptionFindsTheFilterOfTheRunsStart) {
  EXPECT_EQ(&FirstFilter, FilterSeenByPassingException(true));
}

TEST(MessageLoopExceptionRestorationTest, WithoutRestorationTheTaskFilterStays) {
  EXPECT_EQ(&ReplacementFilter, FilterSeenByPassingException(false));
}

#endif  // 32-bit x86

}  // namespace
