// The per-thread task scheduler: tasks posted from any thread run one at a time on the loop's
// thread, interleaved with the native events its pump waits for.
#ifndef BASE_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_H_

#include <cstdint>
#include <queue>
#include <string>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/memory/scoped_ptr.h"
#include "base/message_pump.h"
#include "base/observer_list.h"
#include "base/pending_task.h"
#include "base/synchronization/lock.h"
#include "base/time.h"

namespace base {

class MessageLoopProxy;
class MessageLoopProxyImpl;
class MessagePumpDispatcher;
class MessagePumpWin;
class ThreadTaskRunnerHandle;

// The functions DeleteSoon and ReleaseSoon post. A class with a private destructor befriends
// DeleteHelper<T>.
template <class T>
class DeleteHelper {
 public:
  static void DoDelete(const void* object) { delete static_cast<const T*>(object); }
};

template <class T>
class ReleaseHelper {
 public:
  static void DoRelease(const void* object) { static_cast<const T*>(object)->Release(); }
};

}  // namespace base

// One loop per thread, made and destroyed on that thread. Posting is allowed from any thread
// while the loop lives (other threads usually post through message_loop_proxy(), which
// outlives the loop); every other operation belongs to the loop's thread.
//
// The pump calls DoWork, DoDelayedWork and, when neither ran anything, DoIdleWork. So
// immediate tasks run in posting order, due delayed tasks in run-time order (ties in posting
// order), the two kinds alternate one for one when both are ready, and a quit request takes
// effect only once nothing is ready.
class MessageLoop : public base::MessagePump::Delegate {
 public:
  enum Type {
    TYPE_DEFAULT,  // no native events: the pump sleeps on an event
    TYPE_UI,       // the thread's window messages
    TYPE_IO,       // completions of overlapped IO on an IO completion port
  };

  // Makes the pump of TYPE_UI loops; installed once for the process.
  typedef base::MessagePumpWin* (MessagePumpFactory)();

  // Told on the loop's thread, after the last pending task is gone, that the loop is about to
  // be destroyed.
  class DestructionObserver {
   public:
    virtual void WillDestroyCurrentMessageLoop() = 0;

   protected:
    virtual ~DestructionObserver();
  };

  // Told on the loop's thread around every task; given the time the task was posted.
  class TaskObserver {
   public:
    TaskObserver();
    virtual void WillRunTask(base::TimeTicks time_posted) = 0;
    virtual void DidRunTask(base::TimeTicks time_posted) = 0;

   protected:
    virtual ~TaskObserver();
  };

  // How long one activation of the high-resolution timer mode lasts.
  static const int kHighResolutionTimerModeLeaseTimeMs = 1000;

  // Becomes the calling thread's current loop (replacing any other).
  explicit MessageLoop(Type type = TYPE_DEFAULT);

  // Destroys the pending tasks unrun, tells the destruction observers and detaches the proxy.
  ~MessageLoop() override;

  // The calling thread's loop, or null.
  static MessageLoop* current();

  static void EnableHistogrammer(bool enable_histogrammer);

  // Installs the maker of TYPE_UI pumps; false (and no change) when one is installed already.
  static bool InitMessagePumpForUIFactory(MessagePumpFactory* factory);

  // Posting, from any thread. A TimeDelta delay is rounded up to whole milliseconds; a delay
  // of 0 or below runs the task as soon as possible.
  void PostTask(const tracked_objects::Location& from_here, const base::Closure& task);
  void PostDelayedTask(const tracked_objects::Location& from_here,
                       const base::Closure& task,
                       int64_t delay_ms);
  void PostDelayedTask(const tracked_objects::Location& from_here,
                       const base::Closure& task,
                       base::TimeDelta delay);
  void PostNonNestableTask(const tracked_objects::Location& from_here,
                           const base::Closure& task);
  void PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  const base::Closure& task,
                                  int64_t delay_ms);
  void PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  const base::Closure& task,
                                  base::TimeDelta delay);

  // Deletes |object|, or drops one reference to it, in a non-nestable task on this loop. If
  // the loop is destroyed before that task runs, the object is left alone.
  template <class T>
  void DeleteSoon(const tracked_objects::Location& from_here, const T* object) {
    DeleteSoonInternal(from_here, &base::DeleteHelper<T>::DoDelete, object);
  }
  template <class T>
  void ReleaseSoon(const tracked_objects::Location& from_here, const T* object) {
    ReleaseSoonInternal(from_here, &base::ReleaseHelper<T>::DoRelease, object);
  }
  void DeleteSoonInternal(const tracked_objects::Location& from_here,
                          void (*deleter)(const void*),
                          const void* object);
  void ReleaseSoonInternal(const tracked_objects::Location& from_here,
                           void (*releaser)(const void*),
                           const void* object);

  // Runs until Quit (at the next idle turn) or QuitNow (after the current task).
  void Run();

  // Runs until nothing is ready: every immediate and due delayed task, and whatever they post
  // before the loop goes idle.
  void RunAllPending();

  // Ends the innermost run once no task is ready. Nothing when the loop is not running.
  void Quit();

  // Ends the innermost run after the current task, work possibly still queued.
  void QuitNow();

  // A task that calls Quit on the loop it runs on.
  static base::Closure QuitClosure();

  Type type() const { return type_; }

  void set_thread_name(const std::string& thread_name) { thread_name_ = thread_name; }
  const std::string& thread_name() const { return thread_name_; }

  // The loop's proxy, usable from any thread and after the loop is gone.
  scoped_refptr<base::MessageLoopProxy> message_loop_proxy();

  // A task that runs the loop again must allow nestable tasks first, or the nested run runs
  // nothing. Allowing them wakes the pump.
  void SetNestableTasksAllowed(bool allowed);
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }

  // Runs on with the process's unhandled-exception filter put back in place when an exception
  // leaves a task, should a task have replaced it.
  void set_exception_restoration(bool restore) { exception_restoration_ = restore; }

  bool IsNested() const;
  bool is_running() const { return state_ != nullptr; }

  void AddDestructionObserver(DestructionObserver* destruction_observer);
  void RemoveDestructionObserver(DestructionObserver* destruction_observer);
  void AddTaskObserver(TaskObserver* task_observer);
  void RemoveTaskObserver(TaskObserver* task_observer);

  // Takes and releases the incoming-queue lock; checks nothing, since other threads may post
  // at any time.
  void AssertIdle() const;

  bool high_resolution_timers_enabled() const;

  // Set while a modal OS loop (a message box, a menu) runs on the thread; the window-message
  // pump keeps tasks going through it.
  void set_os_modal_loop(bool os_modal_loop) { os_modal_loop_ = os_modal_loop; }
  bool os_modal_loop() const { return os_modal_loop_; }

  // MessagePump::Delegate, called by the pump on the loop's thread.
  bool DoWork() override;
  bool DoDelayedWork(base::TimeTicks* next_delayed_work_time) override;
  bool DoIdleWork() override;

 protected:
  // One per active Run, on its stack; links itself in as the loop's innermost run.
  struct AutoRunState {
    explicit AutoRunState(MessageLoop* loop);
    ~AutoRunState();

    int run_depth;  // 1 for the outermost run
    bool quit_received;
    base::MessagePumpDispatcher* dispatcher;  // for runs of the window-message pump

   private:
    MessageLoop* loop_;
    AutoRunState* previous_state_;

    AutoRunState(const AutoRunState&) = delete;
    AutoRunState& operator=(const AutoRunState&) = delete;
  };

  // The pump of a TYPE_UI or TYPE_IO loop.
  base::MessagePumpWin* pump_win() const;

  void RunHandler();

 private:
  typedef std::priority_queue<base::PendingTask> DelayedTaskQueue;

  void RunInternal();
  void RunInternalInSEHFrame();

  void RunTask(const base::PendingTask& pending_task);
  bool DeferOrRunPendingTask(const base::PendingTask& pending_task);
  void AddToDelayedWorkQueue(const base::PendingTask& pending_task);
  bool ProcessNextDelayedNonNestableTask();

  void PostTaskWithDelay(const tracked_objects::Location& from_here,
                         const base::Closure& task,
                         int64_t delay_ms,
                         bool nestable);
  void AddToIncomingQueue(base::PendingTask* pending_task, int64_t delay_ms);
  base::TimeTicks CalculateDelayedRuntime(int64_t delay_ms);

  void ReloadWorkQueue();
  bool DeletePendingTasks();

  const Type type_;

  // Taken over from the incoming queue in whole batches; the loop's thread only.
  base::TaskQueue work_queue_;

  DelayedTaskQueue delayed_work_queue_;  // earliest run time on top

  // The clock as last read by DoDelayedWork: a loop that has fallen behind runs every overdue
  // task without reading the clock for each.
  base::TimeTicks recent_time_;

  // Non-nestable tasks met inside a nested run, kept for the outermost run's idle turns.
  base::TaskQueue deferred_non_nestable_work_queue_;

  scoped_refptr<base::MessagePump> pump_;

  ObserverVector<DestructionObserver> destruction_observers_;

  bool nestable_tasks_allowed_;  // false while a task runs
  bool exception_restoration_;
  std::string thread_name_;

  // Where posts land.
  base::TaskQueue incoming_queue_;  // guarded by incoming_queue_lock_
  mutable base::Lock incoming_queue_lock_;

  AutoRunState* state_;  // the innermost run, null when not running

  // When the high-resolution timer lease runs out; null when none is held.
  base::TimeTicks high_resolution_timer_expiration_;  // guarded by incoming_queue_lock_

  bool os_modal_loop_;

  // Stamped on tasks entering the delayed-work heap, so equal run times keep posting order.
  int next_sequence_num_;

  ObserverVector<TaskObserver> task_observers_;

  scoped_refptr<base::MessageLoopProxyImpl> message_loop_proxy_;
  scoped_ptr<base::ThreadTaskRunnerHandle> thread_task_runner_handle_;

  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
};

#endif  // BASE_MESSAGE_LOOP_H_
