// The broker's thread environment: start, stop, post by id, post and wait.
#include "Thread/IPC_ThreadEnviroment.h"

#include <algorithm>
#include <atomic>

#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/message_loop.h"
#include "base/synchronization/waitable_event.h"

namespace {

// The started threads' order, and the reverse-ish order they stop in: the callback thread
// first, the thread that runs every pipe last.
const int kStartOrder[] = {IPC_THREAD_MAIN, IPC_THREAD_EVENT, IPC_THREAD_IO};
const int kStopOrder[] = {IPC_THREAD_EVENT, IPC_THREAD_MAIN, IPC_THREAD_IO};

// What a waiter in PostTaskAndWait learns: the task ran, or it is gone unrun (its loop
// quit before it). Shared with the task, which may outlive its waiter.
class TaskOutcome : public base::RefCountedThreadSafe<TaskOutcome> {
 public:
  TaskOutcome() : m_Done(true, false), m_bRan(false) {}

  void Ran() {
    m_bRan = true;
    m_Done.Signal();
  }
  void Dropped() { m_Done.Signal(); }

  // Whether the task ran within |timeout_ms| (negative: no limit).
  bool Wait(int64_t timeout_ms) {
    if (timeout_ms < 0)
      m_Done.Wait();
    else if (!m_Done.TimedWait(base::TimeDelta::FromMilliseconds(timeout_ms)))
      return false;
    return m_bRan;
  }

 private:
  friend class base::RefCountedThreadSafe<TaskOutcome>;
  ~TaskOutcome() {}

  base::WaitableEvent m_Done;
  std::atomic<bool> m_bRan;
};

// Travels with the task and dies with it, run or not.
class DropReporter {
 public:
  explicit DropReporter(TaskOutcome* outcome) : m_pOutcome(outcome) {}
  ~DropReporter() { m_pOutcome->Dropped(); }

 private:
  scoped_refptr<TaskOutcome> m_pOutcome;
};

void RunAndReport(const base::Closure& task,
                  const scoped_refptr<TaskOutcome>& outcome,
                  DropReporter* /*reporter*/) {
  task.Run();
  outcome->Ran();
}

}  // namespace

IPC_ThreadTable::IPC_ThreadTable() {}

IPC_ThreadTable::~IPC_ThreadTable() {
  for (int thread_id : kStopOrder)
    StopThread(thread_id);
}

bool IPC_ThreadTable::StartThread(int thread_id) {
  if (!IPC_Thread::NameOf(thread_id))
    return false;
  {
    base::AutoLock lock(m_Lock);
    if (m_Threads.count(thread_id))
      return true;
  }
  scoped_refptr<IPC_Thread> thread(new IPC_Thread(thread_id, nullptr));
  thread->StartLoop();
  base::AutoLock lock(m_Lock);
  m_Threads.insert(std::make_pair(thread_id, thread));
  return true;
}

void IPC_ThreadTable::StopThread(int thread_id) {
  base::AutoLock lock(m_Lock);
  m_Threads.erase(thread_id);
}

IPC_ThreadEnviroment::IPC_ThreadEnviroment() : m_bStarted(false) {}

IPC_ThreadEnviroment::~IPC_ThreadEnviroment() {
  Stop();
}

bool IPC_ThreadEnviroment::Start() {
  base::AutoLock lock(m_Lock);
  if (!m_bStarted) {
    m_pThreads.reset(new IPC_ThreadTable);
    bool all_valid = true;
    for (int thread_id : kStartOrder)
      all_valid = m_pThreads->StartThread(thread_id) && all_valid;
    m_bStarted = all_valid;
  }
  return m_bStarted;
}

bool IPC_ThreadEnviroment::Stop() {
  base::AutoLock lock(m_Lock);
  if (m_bStarted) {
    m_bStarted = false;
    for (int thread_id : kStopOrder)
      m_pThreads->StopThread(thread_id);
    m_pThreads.reset();
  }
  return true;
}

bool IPC_ThreadEnviroment::PostTaskAndWait(int thread_id,
                                           const tracked_objects::Location& from_here,
                                           const base::Closure& task,
                                           int64_t timeout_ms) {
  scoped_refptr<TaskOutcome> outcome(new TaskOutcome);
  if (!PostTask(thread_id, from_here,
                base::Bind(&RunAndReport, task, outcome,
                           base::Owned(new DropReporter(outcome.get())))))
    return false;
  return outcome->Wait(timeout_ms);
}

bool IPC_ThreadEnviroment::PostTaskAndWaitUntil(int thread_id,
                                                const tracked_objects::Location& from_here,
                                                const base::Closure& task,
                                                base::TimeTicks deadline) {
  const int64_t remaining_ms = (deadline - base::TimeTicks::Now()).InMilliseconds();
  return PostTaskAndWait(thread_id, from_here, task, std::max<int64_t>(remaining_ms, 0));
}

// static
bool IPC_ThreadEnviroment::PostTask(int thread_id,
                                    const tracked_objects::Location& from_here,
                                    const base::Closure& task) {
  return PostDelayedTask(thread_id, from_here, task, base::TimeDelta());
}

// static
bool IPC_ThreadEnviroment::PostDelayedTask(int thread_id,
                                           const tracked_objects::Location& from_here,
                                           const base::Closure& task,
                                           base::TimeDelta delay) {
  scoped_refptr<base::MessageLoopProxy> loop = IPC_ThreadSlots::Get().ProxyOf(thread_id);
  return loop && loop->PostDelayedTask(from_here, task, delay);
}

// static
bool IPC_ThreadEnviroment::PostDelayedTask(int thread_id,
                                           const tracked_objects::Location& from_here,
                                           const base::Closure& task,
                                           int64_t delay_ms) {
  return PostDelayedTask(thread_id, from_here, task, base::TimeDelta::FromMilliseconds(delay_ms));
}

// static
bool IPC_ThreadEnviroment::PostNonNestableDelayedTask(int thread_id,
                                                      const tracked_objects::Location& from_here,
                                                      const base::Closure& task,
                                                      base::TimeDelta delay) {
  scoped_refptr<base::MessageLoopProxy> loop = IPC_ThreadSlots::Get().ProxyOf(thread_id);
  return loop && loop->PostNonNestableDelayedTask(from_here, task, delay);
}

// static
bool IPC_ThreadEnviroment::PostNonNestableDelayedTask(int thread_id,
                                                      const tracked_objects::Location& from_here,
                                                      const base::Closure& task,
                                                      int64_t delay_ms) {
  return PostNonNestableDelayedTask(thread_id, from_here, task,
                                    base::TimeDelta::FromMilliseconds(delay_ms));
}

// static
bool IPC_ThreadEnviroment::CurrentlyOn(int thread_id) {
  return IPC_ThreadSlots::Get().RunsOnCurrentThread(thread_id);
}

// static
bool IPC_ThreadEnviroment::GetCurrentThreadIdentifier(int* thread_id) {
  if (!thread_id)
    return false;
  for (int id = 0; id < IPC_THREAD_COUNT; ++id) {
    if (IPC_ThreadSlots::Get().RunsOnCurrentThread(id)) {
      *thread_id = id;
      return true;
    }
  }
  return false;
}
