// The pump tests' stand-in for a message loop.
#include "support/test_pump_delegate.h"

#include <windows.h>

#include "base/bind.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "support/background_thread.h"
#include "support/thread_runner.h"

namespace test {

namespace {

void QuitDelegateWhenIdle(TestPumpDelegate* delegate) {
  delegate->QuitWhenIdle();
}

}  // namespace

TestPumpDelegate::TestPumpDelegate(base::MessagePump* pump)
    : pump_(pump),
      quit_when_idle_(false),
      timed_out_(false),
      work_calls_(0),
      delayed_work_calls_(0),
      idle_calls_(0),
      tasks_run_(0) {}

TestPumpDelegate::~TestPumpDelegate() {}

void TestPumpDelegate::PostTask(const base::Closure& task) {
  bool was_empty;
  {
    base::AutoLock hold(lock_);
    was_empty = incoming_.empty();
    incoming_.push_back(task);
  }
  if (was_empty)
    pump_->ScheduleWork();
}

void TestPumpDelegate::PostDelayedTask(const base::Closure& task, base::TimeTicks run_time) {
  std::multimap<base::TimeTicks, base::Closure>::iterator it =
      delayed_.insert(std::make_pair(run_time, task));
  if (it == delayed_.begin())
    pump_->ScheduleDelayedWork(run_time);
}

void TestPumpDelegate::QuitWhenIdle() {
  quit_when_idle_ = true;
}

void TestPumpDelegate::SetDeadline(base::TimeDelta deadline) {
  PostDelayedTask(base::Bind(&TestPumpDelegate::OnDeadline, base::Unretained(this)),
                  base::TimeTicks::Now() + deadline);
}

void TestPumpDelegate::OnDeadline() {
  timed_out_ = true;
  pump_->Quit();
}

void TestPumpDelegate::RunTask(const base::Closure& task) {
  ++tasks_run_;
  task.Run();
}

bool TestPumpDelegate::DoWork() {
  ++work_calls_;
  Note('w');
  if (work_.empty()) {
    base::AutoLock hold(lock_);
    work_.swap(incoming_);
  }
  if (work_.empty())
    return false;
  base::Closure task = work_.front();
  work_.pop_front();
  RunTask(task);
  return true;
}

bool TestPumpDelegate::DoDelayedWork(base::TimeTicks* next_delayed_work_time) {
  ++delayed_work_calls_;
  Note('d');
  if (delayed_.empty()) {
    *next_delayed_work_time = base::TimeTicks();
    return false;
  }
  if (delayed_.begin()->first > base::TimeTicks::Now()) {
    *next_delayed_work_time = delayed_.begin()->first;
    return false;
  }
  base::Closure task = delayed_.begin()->second;
  delayed_.erase(delayed_.begin());
  *next_delayed_work_time = delayed_.empty() ? base::TimeTicks() : delayed_.begin()->first;
  RunTask(task);
  return true;
}

bool TestPumpDelegate::DoIdleWork() {
  ++idle_calls_;
  Note('i');
  if (!idle_hook_.is_null())
    idle_hook_.Run();
  if (quit_when_idle_)
    pump_->Quit();
  return false;
}

base::Closure TestPumpDelegate::QuitWhenIdleTask() {
  return base::Bind(&QuitDelegateWhenIdle, this);
}

int RunWokenFromAnotherThread(base::MessagePump* pump) {
  TestPumpDelegate delegate(pump);
  // The post follows the idle turn, after which the pump waits.
  base::WaitableEvent idle(true, false);
  delegate.set_idle_hook(base::Bind(&base::WaitableEvent::Signal, base::Unretained(&idle)));
  BackgroundThread poster([&delegate, &idle] {
    idle.TimedWait(base::TimeDelta::FromMilliseconds(kDeadlineMs));
    delegate.PostTask(delegate.QuitWhenIdleTask());
  });
  pump->Run(&delegate);
  return delegate.tasks_run();
}

}  // namespace test
