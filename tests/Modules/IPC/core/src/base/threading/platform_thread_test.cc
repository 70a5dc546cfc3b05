// Creating, joining, prioritising and naming OS threads.
#include "base/threading/platform_thread.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/synchronization/lock.h"
#include "base/threading/thread_restrictions.h"
#include "base/time.h"
#include "base/win/scoped_handle.h"
#include "support/child_test_runner.h"
#include "support/debugger_loop.h"
#include "support/handle_count.h"
#include "support/thread_runner.h"

namespace {

using base::PlatformThread;
using base::PlatformThreadHandle;
using test::FunctionDelegate;

const DWORD kThreadNamingException = 0x406D1388;
const char kChildNamingTest[] = "PlatformThreadDebuggee.DISABLED_NamesThreads";
const char kChildPlainName[] = "Worker";
const DWORD kStrayThreadWindowMs = 50;

base::win::ScopedHandle NewEvent() {
  return base::win::ScopedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

TEST(PlatformThreadTest, JoinWaitsForTheThreadAndClosesItsHandle) {
  // Released only as Join begins, so that Join has a running thread to wait for.
  base::win::ScopedHandle release = NewEvent();
  std::atomic<bool> finished(false);
  FunctionDelegate delegate([&] {
    ::WaitForSingleObject(release.Get(), test::kDeadlineMs);
    finished = true;
  });
  int handles_before = test::CountOpenHandles();
  PlatformThreadHandle thread;
  ASSERT_TRUE(PlatformThread::Create(0, &delegate, &thread));
  ASSERT_TRUE(thread.IsValid());
  HANDLE raw = thread.Get();
  ::SetEvent(release.Get());
  ASSERT_TRUE(test::JoinWithDeadline(&thread));
  EXPECT_TRUE(finished);
  EXPECT_FALSE(thread.IsValid());
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(raw, &flags));
  EXPECT_EQ(handles_before, test::CountOpenHandles());
}

TEST(PlatformThreadTest, NonJoinableThreadLeavesNoHandleAndRunsSingletonDisallowed) {
  base::win::ScopedHandle done = NewEvent();
  bool singleton_was_allowed = true;
  FunctionDelegate delegate([&] {
    singleton_was_allowed = base::ThreadRestrictions::SetSingletonAllowed(true);
    ::SetEvent(done.Get());
  });
  int handles_before = test::CountOpenHandles();
  ASSERT_TRUE(PlatformThread::CreateNonJoinable(0, &delegate));
  EXPECT_EQ(handles_before, test::CountOpenHandles());
  ASSERT_TRUE(test::WaitWithDeadline(done));
  EXPECT_FALSE(singleton_was_allowed);
  // A joinable thread is joined before the teardown, so it may use singletons.
  ASSERT_TRUE(test::RunOnNewThread([&] {
    singleton_was_allowed = base::ThreadRestrictions::SetSingletonAllowed(true);
  }));
  EXPECT_TRUE(singleton_was_allowed);
}

TEST(PlatformThreadTest, FailedCreationRunsNothingAndLeaksNoHandle) {
  base::win::ScopedHandle ran = NewEvent();
  FunctionDelegate delegate([&ran] { ::SetEvent(ran.Get()); });
  // Three quarters of the address space: no process can reserve that as a stack.
  const size_t kImpossibleStack = ~size_t(0) / 4 * 3;
  int handles_before = test::CountOpenHandles();
  PlatformThreadHandle thread;
  EXPECT_FALSE(PlatformThread::Create(kImpossibleStack, &delegate, &thread));
  EXPECT_FALSE(thread.IsValid());
  EXPECT_FALSE(PlatformThread::CreateNonJoinable(kImpossibleStack, &delegate));
  // Nothing announces a thread that never started: one started in error has this long to
  // show itself.
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
            ::WaitForSingleObject(ran.Get(), kStrayThreadWindowMs));
  EXPECT_EQ(handles_before, test::CountOpenHandles());
}

// The size of the address range reserved for the calling thread's stack: every region
// that belongs to the same allocation as a local variable.
size_t CurrentStackReservation() {
  MEMORY_BASIC_INFORMATION info = {};
  ::VirtualQuery(&info, &info, sizeof(info));
  const char* allocation = static_cast<const char*>(info.AllocationBase);
  const char* region = allocation;
  while (::VirtualQuery(region, &info, sizeof(info)) && info.AllocationBase == allocation)
    region += info.RegionSize;
  return static_cast<size_t>(region - allocation);
}

// The size is the stack's reservation, not its committed part: a thread asking for 8 MB
// gets 8 MB of address space for its stack.
TEST(PlatformThreadTest, StackSizeIsTheReservation) {
  const size_t kStackSize = 8 * 1024 * 1024;
  size_t reserved = 0;
  FunctionDelegate delegate([&reserved] { reserved = CurrentStackReservation(); });
  PlatformThreadHandle thread;
  ASSERT_TRUE(PlatformThread::Create(kStackSize, &delegate, &thread));
  ASSERT_TRUE(test::JoinWithDeadline(&thread));
  EXPECT_GE(reserved, kStackSize);
  EXPECT_LT(reserved, 2 * kStackSize);
}

TEST(PlatformThreadTest, PrioritiesMapToNormalAndTimeCriticalAndOthersAreIgnored) {
  base::win::ScopedHandle release = NewEvent();
  FunctionDelegate delegate([&release] { ::WaitForSingleObject(release.Get(), test::kDeadlineMs); });
  PlatformThreadHandle thread;
  ASSERT_TRUE(PlatformThread::CreateWithPriority(0, &delegate, &thread,
                                                 base::kThreadPriority_TimeCritical));
  EXPECT_EQ(THREAD_PRIORITY_TIME_CRITICAL, ::GetThreadPriority(thread.Get()));
  PlatformThread::SetThreadPriority(thread, static_cast<base::ThreadPriority>(7));
  EXPECT_EQ(THREAD_PRIORITY_TIME_CRITICAL, ::GetThreadPriority(thread.Get()));
  PlatformThread::SetThreadPriority(thread, base::kThreadPriority_Normal);
  EXPECT_EQ(THREAD_PRIORITY_NORMAL, ::GetThreadPriority(thread.Get()));
  ::SetEvent(release.Get());
  ASSERT_TRUE(test::JoinWithDeadline(&thread));
}

// A negative duration must not reach the OS, where it would mean "forever" or 49 days.
TEST(PlatformThreadTest, NegativeSleepsReturnAtOnce) {
  DWORD start = ::GetTickCount();
  PlatformThread::Sleep(-1);
  PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(-5));
  PlatformThread::Sleep(base::TimeDelta::FromMicroseconds(-1));
  EXPECT_LT(::GetTickCount() - start, 1000u);
}

TEST(PlatformThreadTest, NamesArePerThreadAndNotCopied) {
  static const char kWorkerName[] = "NamedWorker";
  const char* name_before = nullptr;
  const char* name_after = nullptr;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    name_before = PlatformThread::GetName();
    PlatformThread::SetName(kWorkerName);
    name_after = PlatformThread::GetName();
  }));
  EXPECT_EQ(nullptr, name_before);
  EXPECT_EQ(kWorkerName, name_after);
  EXPECT_NE(kWorkerName, PlatformThread::GetName());
}

struct NamingRecord {
  ULONG_PTR type;
  std::string name;
  ULONG_PTR thread_id;
  ULONG_PTR flags;
};

// Records every thread-naming exception of this process ahead of the runtime's own
// handler, and leaves it to that handler.
class NamingExceptionObserver {
 public:
  NamingExceptionObserver() : handler_(::AddVectoredExceptionHandler(1, Observe)) {
    current_ = this;
  }
  ~NamingExceptionObserver() {
    ::RemoveVectoredExceptionHandler(handler_);
    current_ = nullptr;
  }

  std::vector<NamingRecord> records() {
    base::AutoLock hold(lock_);
    return records_;
  }

 private:
  static LONG CALLBACK Observe(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* exception = pointers->ExceptionRecord;
    if (current_ && exception->ExceptionCode == kThreadNamingException &&
        exception->NumberParameters == 4) {
      const ULONG_PTR* arguments = exception->ExceptionInformation;
      NamingRecord record = {arguments[0], reinterpret_cast<const char*>(arguments[1]),
                             arguments[2], arguments[3]};
      base::AutoLock hold(current_->lock_);
      current_->records_.push_back(record);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }

  static NamingExceptionObserver* current_;
  void* handler_;
  base::Lock lock_;
  std::vector<NamingRecord> records_;  // guarded by lock_
};

NamingExceptionObserver* NamingExceptionObserver::current_ = nullptr;

TEST(PlatformThreadTest, BrokerEventNameIsAnnouncedWithoutADebuggerAndTheThreadGoesOn) {
  ASSERT_FALSE(::IsDebuggerPresent());
  NamingExceptionObserver observer;
  // A copy: the name is recognised by its bytes, not by its address.
  static char broker_name[] = "BrokerEvent";
  DWORD worker_id = 0;
  bool went_on = false;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    worker_id = ::GetCurrentThreadId();
    PlatformThread::SetName("NotAnnounced");
    PlatformThread::SetName(broker_name);
    went_on = PlatformThread::GetName() == broker_name;
  }));
  EXPECT_TRUE(went_on);
  std::vector<NamingRecord> records = observer.records();
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(0x1000u, records[0].type);
  EXPECT_EQ("BrokerEvent", records[0].name);
  EXPECT_EQ(worker_id, records[0].thread_id);
  EXPECT_EQ(0u, records[0].flags);
}

// The debugger passes each naming exception back unhandled, so the debuggee's own handler
// has to continue it.
TEST(PlatformThreadTest, AttachedDebuggerLearnsEveryNameAndTheDebuggeeGoesOn) {
  test::DebuggerOptions options;
  options.timeout_ms = 3 * test::kDeadlineMs;
  test::DebuggedRun run =
      test::RunUnderDebugger(test::ChildTestCommandLine(kChildNamingTest), options);
  ASSERT_TRUE(run.started);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(0u, run.exit_code);
  EXPECT_EQ(2, std::count(run.exceptions.begin(), run.exceptions.end(), kThreadNamingException));
  ASSERT_EQ(2u, run.thread_names.size());
  EXPECT_EQ("BrokerEvent", run.thread_names[0].name);
  EXPECT_EQ(kChildPlainName, run.thread_names[1].name);
  for (const test::DebuggedRun::ThreadName& name : run.thread_names)
    EXPECT_EQ(name.raising_thread_id, name.announced_thread_id);
}

// Run only as the debuggee of the test above: with a debugger attached every name is
// announced, and each thread goes on after naming itself.
TEST(PlatformThreadDebuggee, DISABLED_NamesThreads) {
  ASSERT_TRUE(::IsDebuggerPresent());
  PlatformThread::SetName("BrokerEvent");
  bool went_on = false;
  ASSERT_TRUE(test::RunOnNewThread([&went_on] {
    PlatformThread::SetName(kChildPlainName);
    went_on = PlatformThread::GetName() == kChildPlainName;
  }));
  EXPECT_TRUE(went_on);
}

}  // namespace
