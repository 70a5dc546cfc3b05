// A stand-in for a message loop that drives a pump directly, so pump tests can queue work and
// count how the pump calls back.
#ifndef SUPPORT_TEST_PUMP_DELEGATE_H_
#define SUPPORT_TEST_PUMP_DELEGATE_H_

#include <deque>
#include <map>
#include <string>

#include "base/callback.h"
#include "base/message_pump.h"
#include "base/synchronization/lock.h"
#include "base/time.h"

namespace test {

// PostTask may be called from any thread; everything else runs on the pump's thread. The
// counters are read on that thread, or after its run has ended.
class TestPumpDelegate : public base::MessagePump::Delegate {
 public:
  explicit TestPumpDelegate(base::MessagePump* pump);
  ~TestPumpDelegate() override;

  // Queues |task| and, like a loop, wakes the pump only when the queue was empty.
  void PostTask(const base::Closure& task);

  // Runs |task| from DoDelayedWork once TimeTicks::Now() has reached |run_time|.
  void PostDelayedTask(const base::Closure& task, base::TimeTicks run_time);

  // Makes the pump quit at its next idle turn.
  void QuitWhenIdle();
  // A task that calls QuitWhenIdle when it runs.
  base::Closure QuitWhenIdleTask();

  // Quits the pump, and marks the run as timed out, if it is still running after |deadline|.
  void SetDeadline(base::TimeDelta deadline);
  bool timed_out() const { return timed_out_; }

  // Runs at the start of every DoIdleWork, before the pump decides whether to sleep.
  void set_idle_hook(const base::Closure& hook) { idle_hook_ = hook; }

  // The delegate calls in order: 'w' DoWork, 'd' DoDelayedWork, 'i' DoIdleWork, and whatever
  // the test adds with Note.
  const std::string& calls() const { return calls_; }
  void Note(char mark) { calls_ += mark; }

  int work_calls() const { return work_calls_; }
  int delayed_work_calls() const { return delayed_work_calls_; }
  int idle_calls() const { return idle_calls_; }
  int tasks_run() const { return tasks_run_; }

  bool DoWork() override;
  bool DoDelayedWork(base::TimeTicks* next_delayed_work_time) override;
  bool DoIdleWork() override;

 private:
  void OnDeadline();
  void RunTask(const base::Closure& task);

  base::MessagePump* pump_;
  base::Lock lock_;
  std::deque<base::Closure> incoming_;  // guarded by lock_
  std::deque<base::Closure> work_;
  std::multimap<base::TimeTicks, base::Closure> delayed_;
  base::Closure idle_hook_;
  bool quit_when_idle_;
  bool timed_out_;
  std::string calls_;
  int work_calls_;
  int delayed_work_calls_;
  int idle_calls_;
  int tasks_run_;
};

// Runs |pump| with no deadline task, so its wait has no timeout, while another thread posts
// one quit-when-idle task once the pump has had its idle turn. Answers how many tasks ran:
// 1 when the post woke the endless wait.
int RunWokenFromAnotherThread(base::MessagePump* pump);

}  // namespace test

#endif  // SUPPORT_TEST_PUMP_DELEGATE_H_
