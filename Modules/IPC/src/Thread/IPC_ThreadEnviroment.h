// The owner of the broker's three threads, and the posting operations that reach them by id.
#ifndef IPC_THREAD_IPC_THREADENVIROMENT_H_
#define IPC_THREAD_IPC_THREADENVIROMENT_H_

#include <cstdint>
#include <map>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/memory/scoped_ptr.h"
#include "base/synchronization/lock.h"
#include "base/time.h"
#include "Thread/IPC_Thread.h"

// The running threads of one environment. Its map holds the only lasting reference to each
// thread, so erasing an entry stops and joins that thread.
class IPC_ThreadTable {
 public:
  IPC_ThreadTable();
  ~IPC_ThreadTable();

  // Starts |thread_id|'s thread unless it runs already; false only for an id without a
  // thread. A thread whose start failed stays in the table without a loop: posts to it fail.
  bool StartThread(int thread_id);

  // Stops and joins |thread_id|'s thread, under the table lock.
  void StopThread(int thread_id);

 private:
  base::Lock m_Lock;
  std::map<int, scoped_refptr<IPC_Thread>> m_Threads;  // guarded by m_Lock
};

// Started lazily by every connect (a no-op once started) and stopped when the last host
// goes, or when the module dies at exit. Start, Stop and PostTaskAndWait are never called
// from the module's own threads: Stop joins them, and a wait on "MainThread" from
// "MainThread" would wait for a task queued behind itself. The static operations may be
// called from any thread, with or without an environment.
class IPC_ThreadEnviroment : public base::RefCountedThreadSafe<IPC_ThreadEnviroment> {
 public:
  IPC_ThreadEnviroment();

  // Starts "MainThread", "EventThread" and "IOThread", in that order; the started flag.
  bool Start();

  // Stops "EventThread", "MainThread" and "IOThread", in that order; true.
  bool Stop();

  // Posts |task| to |thread_id| and waits until it has run: true if it ran within
  // |timeout_ms| (negative: no limit); false at once when the thread's loop quits before
  // the task. After a time-out the task may still run later; it then touches only what it
  // holds references to.
  bool PostTaskAndWait(int thread_id,
                       const tracked_objects::Location& from_here,
                       const base::Closure& task,
                       int64_t timeout_ms);

  // PostTaskAndWait that waits until |deadline| at most.
  bool PostTaskAndWaitUntil(int thread_id,
                            const tracked_objects::Location& from_here,
                            const base::Closure& task,
                            base::TimeTicks deadline);

  // True when the task was handed to the loop of |thread_id|'s running thread; otherwise
  // the task is destroyed unrun.
  static bool PostTask(int thread_id,
                       const tracked_objects::Location& from_here,
                       const base::Closure& task);
  static bool PostDelayedTask(int thread_id,
                              const tracked_objects::Location& from_here,
                              const base::Closure& task,
                              base::TimeDelta delay);
  static bool PostDelayedTask(int thread_id,
                              const tracked_objects::Location& from_here,
                              const base::Closure& task,
                              int64_t delay_ms);
  static bool PostNonNestableDelayedTask(int thread_id,
                                         const tracked_objects::Location& from_here,
                                         const base::Closure& task,
                                         base::TimeDelta delay);
  static bool PostNonNestableDelayedTask(int thread_id,
                                         const tracked_objects::Location& from_here,
                                         const base::Closure& task,
                                         int64_t delay_ms);

  // Whether the caller runs on |thread_id|'s thread.
  static bool CurrentlyOn(int thread_id);

  // Stores the id of the module thread the caller runs on; false on any other thread or
  // for a null |thread_id|.
  static bool GetCurrentThreadIdentifier(int* thread_id);

 private:
  friend class base::RefCountedThreadSafe<IPC_ThreadEnviroment>;
  ~IPC_ThreadEnviroment();

  bool m_bStarted;                    // guarded by m_Lock
  base::Lock m_Lock;
  scoped_ptr<IPC_ThreadTable> m_pThreads;  // guarded by m_Lock; null when stopped

  IPC_ThreadEnviroment(const IPC_ThreadEnviroment&) = delete;
  IPC_ThreadEnviroment& operator=(const IPC_ThreadEnviroment&) = delete;
};

#endif  // IPC_THREAD_IPC_THREADENVIROMENT_H_
