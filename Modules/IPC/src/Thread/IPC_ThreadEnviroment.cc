// The broker's thread environment: start, stop, post by id, post and wait.
#include "Thread/IPC_ThreadEnviroment.h"

#include "base/bind.h"
#include "base/message_loop.h"
#include "Thread/IPC_SharedEvent.h"

namespace {

// The started threads' order, and the reverse-ish order they stop in: the callback thread
// first, the thread that runs every pipe last.
const int kStartOrder[] = {IPC_THREAD_MAIN, IPC_THREAD_EVENT, IPC_THREAD_IO};
const int kStopOrder[] = {IPC_THREAD_EVENT, IPC_THREAD_MAIN, IPC_THREAD_IO};

void RunAndSignal(const base::Closure& task, const scoped_refptr<IPC_SharedEvent>& done) {
  task.Run();
  done->Signal();
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
  thread->StartWithOptions(base::Thread::Options(IPC_Thread::LoopTypeOf(thread_id), 0));
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
  // The task shares the event: one that runs after its waiter gave up signals a live event.
  scoped_refptr<IPC_SharedEvent> done(new IPC_SharedEvent);
  if (!PostTask(thread_id, from_here, base::Bind(&RunAndSignal, task, done)))
    return false;
  if (timeout_ms < 0) {
    done->event()->Wait();
    return true;
  }
  return done->event()->TimedWait(base::TimeDelta::FromMilliseconds(timeout_ms));
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
  return IPC_ThreadSlots::Get().RunsOn(thread_id, MessageLoop::current());
}

// static
bool IPC_ThreadEnviroment::GetCurrentThreadIdentifier(int* thread_id) {
  if (!thread_id)
    return false;
  MessageLoop* current = MessageLoop::current();
  for (int id = 0; id < IPC_THREAD_COUNT; ++id) {
    if (IPC_ThreadSlots::Get().RunsOn(id, current)) {
      *thread_id = id;
      return true;
    }
  }
  return false;
}
