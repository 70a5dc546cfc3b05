// The message loop: incoming queue, work queue, delayed-work heap, nesting and teardown.
#include "base/message_loop.h"

#include <windows.h>

#include "base/bind.h"
#include "base/debug/alias.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/message_loop_proxy_impl.h"
#include "base/message_pump_default.h"
#include "base/message_pump_win.h"
#include "base/thread_task_runner_handle.h"
#include "base/threading/thread_local.h"

namespace {

// The current loop of each thread.
base::LazyInstance<base::ThreadLocalPointer<MessageLoop> > lazy_tls_ptr =
    LAZY_INSTANCE_INITIALIZER;

// Process-wide settings, made once at start-up before loops run.
bool enable_histogrammer_ = false;
MessageLoop::MessagePumpFactory* message_pump_for_ui_factory_ = nullptr;

// Destroying a task may post new ones; this bounds a task that re-posts itself forever.
const int kMaxTaskDeletionPasses = 100;

void QuitCurrentLoop() {
  MessageLoop::current()->Quit();
}

scoped_refptr<base::MessagePump> CreatePump(MessageLoop::Type type) {
  switch (type) {
    case MessageLoop::TYPE_UI:
      if (message_pump_for_ui_factory_)
        return message_pump_for_ui_factory_();
      return new base::MessagePumpForUI();
    case MessageLoop::TYPE_IO:
      return new base::MessagePumpForIO();
    case MessageLoop::TYPE_DEFAULT:
      break;
  }
  return new base::MessagePumpDefault();
}

// The process's top-level unhandled-exception filter. Windows offers no plain read of it, so
// it is swapped out and straight back in.
LPTOP_LEVEL_EXCEPTION_FILTER GetTopSEHFilter() {
  LPTOP_LEVEL_EXCEPTION_FILTER top_filter = ::SetUnhandledExceptionFilter(nullptr);
  ::SetUnhandledExceptionFilter(top_filter);
  return top_filter;
}

#if defined(_MSC_VER)

int ReinstallTopSEHFilter(LPTOP_LEVEL_EXCEPTION_FILTER top_filter) {
  ::SetUnhandledExceptionFilter(top_filter);
  return EXCEPTION_CONTINUE_SEARCH;
}

#elif defined(__i386__)

// GCC has no __try/__except. On 32-bit Windows a structured-exception frame is nothing but a
// record on the thread's stack, linked at the head of the exception list in the thread's
// information block; the system asks its handler about every exception that the frames inside
// it leave unhandled, exactly as it evaluates the filter of an __except block. So the run links
// such a record itself. (A vectored handler would not do: it is asked first, about every
// exception of every thread, also those that an inner frame handles.)
struct TopFilterFrame {
  EXCEPTION_REGISTRATION_RECORD record;  // first: the system hands the handler its address
  LPTOP_LEVEL_EXCEPTION_FILTER top_filter;
};

EXCEPTION_DISPOSITION NTAPI ReinstallTopSEHFilter(EXCEPTION_RECORD* exception,
                                                  void* establisher_frame,
                                                  CONTEXT* /*context*/,
                                                  void* /*dispatcher_context*/) {
  // Unwinding calls come after some outer frame took the exception: nothing to restore.
  if (!(exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)))
    ::SetUnhandledExceptionFilter(static_cast<TopFilterFrame*>(establisher_frame)->top_filter);
  return ExceptionContinueSearch;
}

// The thread's information block, which fs addresses on 32-bit Windows. (NtCurrentTeb does the
// same, but GCC 12 mistakes its segment-relative read for an out-of-bounds access.)
NT_TIB* CurrentThreadInformationBlock() {
  NT_TIB* tib;
  __asm__("movl %%fs:0x18, %0" : "=r"(tib));
  return tib;
}

// Links the frame for its lifetime; records linked inside it are gone again by then, also when
// a C++ exception unwinds through it.
class ScopedTopFilterFrame {
 public:
  explicit ScopedTopFilterFrame(LPTOP_LEVEL_EXCEPTION_FILTER top_filter)
      : tib_(CurrentThreadInformationBlock()) {
    frame_.record.Next = tib_->ExceptionList;
    frame_.record.Handler = &ReinstallTopSEHFilter;
    frame_.top_filter = top_filter;
    tib_->ExceptionList = &frame_.record;
  }
  ~ScopedTopFilterFrame() { tib_->ExceptionList = frame_.record.Next; }

 private:
  NT_TIB* const tib_;
  TopFilterFrame frame_;

  ScopedTopFilterFrame(const ScopedTopFilterFrame&) = delete;
  ScopedTopFilterFrame& operator=(const ScopedTopFilterFrame&) = delete;
};

#endif

}  // namespace

MessageLoop::DestructionObserver::~DestructionObserver() {}

MessageLoop::TaskObserver::TaskObserver() {}

MessageLoop::TaskObserver::~TaskObserver() {}

MessageLoop::MessageLoop(Type type)
    : type_(type),
      nestable_tasks_allowed_(true),
      exception_restoration_(false),
      state_(nullptr),
      os_modal_loop_(false),
      next_sequence_num_(0) {
  lazy_tls_ptr.Pointer()->Set(this);
  // The proxy targets the current loop, which is this one from here on.
  message_loop_proxy_ = new base::MessageLoopProxyImpl();
  thread_task_runner_handle_.reset(new base::ThreadTaskRunnerHandle(message_loop_proxy_.get()));
  pump_ = CreatePump(type);
}

MessageLoop::~MessageLoop() {
  DCHECK(!state_) << "a loop is destroyed while it runs";

  // Destroying a task can post new ones (a delete-soon of a bound object, for one); each pass
  // collects what the previous one posted.
  bool did_work = false;
  for (int pass = 0; pass < kMaxTaskDeletionPasses; ++pass) {
    DeletePendingTasks();
    ReloadWorkQueue();
    did_work = DeletePendingTasks();
    if (!did_work)
      break;
  }
  DCHECK(!did_work) << "tasks kept posting while the loop was destroyed";

  FOR_EACH_OBSERVER(DestructionObserver, destruction_observers_,
                    WillDestroyCurrentMessageLoop());

  thread_task_runner_handle_.reset();

  // From here on posts through the proxy answer false.
  message_loop_proxy_->WillDestroyCurrentMessageLoop();
  message_loop_proxy_ = nullptr;

  // Only while this is the current loop: a later loop on the thread may have replaced it.
  if (lazy_tls_ptr.Pointer()->Get() == this)
    lazy_tls_ptr.Pointer()->Set(nullptr);

  base::AutoLock locked(incoming_queue_lock_);
  if (!high_resolution_timer_expiration_.is_null()) {
    base::Time::ActivateHighResolutionTimer(false);
    high_resolution_timer_expiration_ = base::TimeTicks();
  }
}

// static
MessageLoop* MessageLoop::current() {
  return lazy_tls_ptr.Pointer()->Get();
}

// static
void MessageLoop::EnableHistogrammer(bool enable_histogrammer) {
  // Event histograms need an active statistics recorder, and this runtime runs none: the
  // setting is kept, but no histogram is made and no task event recorded.
  enable_histogrammer_ = enable_histogrammer;
}

// static
bool MessageLoop::InitMessagePumpForUIFactory(MessagePumpFactory* factory) {
  if (message_pump_for_ui_factory_)
    return false;
  message_pump_for_ui_factory_ = factory;
  return true;
}

void MessageLoop::PostTask(const tracked_objects::Location& from_here,
                           const base::Closure& task) {
  PostTaskWithDelay(from_here, task, 0, true);
}

void MessageLoop::PostDelayedTask(const tracked_objects::Location& from_here,
                                  const base::Closure& task,
                                  int64_t delay_ms) {
  PostTaskWithDelay(from_here, task, delay_ms, true);
}

void MessageLoop::PostDelayedTask(const tracked_objects::Location& from_here,
                                  const base::Closure& task,
                                  base::TimeDelta delay) {
  PostDelayedTask(from_here, task, delay.InMillisecondsRoundedUp());
}

void MessageLoop::PostNonNestableTask(const tracked_objects::Location& from_here,
                                      const base::Closure& task) {
  PostTaskWithDelay(from_here, task, 0, false);
}

void MessageLoop::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                             const base::Closure& task,
                                             int64_t delay_ms) {
  PostTaskWithDelay(from_here, task, delay_ms, false);
}

void MessageLoop::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                             const base::Closure& task,
                                             base::TimeDelta delay) {
  PostNonNestableDelayedTask(from_here, task, delay.InMillisecondsRoundedUp());
}

void MessageLoop::DeleteSoonInternal(const tracked_objects::Location& from_here,
                                     void (*deleter)(const void*),
                                     const void* object) {
  PostNonNestableTask(from_here, base::Bind(deleter, object));
}

void MessageLoop::ReleaseSoonInternal(const tracked_objects::Location& from_here,
                                      void (*releaser)(const void*),
                                      const void* object) {
  PostNonNestableTask(from_here, base::Bind(releaser, object));
}

void MessageLoop::Run() {
  AutoRunState save_state(this);
  RunHandler();
}

void MessageLoop::RunAllPending() {
  AutoRunState save_state(this);
  save_state.quit_received = true;  // quit at the first idle turn
  RunHandler();
}

void MessageLoop::Quit() {
  if (state_)
    state_->quit_received = true;
}

void MessageLoop::QuitNow() {
  if (state_)
    pump_->Quit();
}

// static
base::Closure MessageLoop::QuitClosure() {
  return base::Bind(&QuitCurrentLoop);
}

scoped_refptr<base::MessageLoopProxy> MessageLoop::message_loop_proxy() {
  return message_loop_proxy_.get();
}

void MessageLoop::SetNestableTasksAllowed(bool allowed) {
  if (nestable_tasks_allowed_ == allowed)
    return;
  nestable_tasks_allowed_ = allowed;
  // A pump that slept through tasks it could not run must look at the queues again.
  if (allowed)
    pump_->ScheduleWork();
}

bool MessageLoop::IsNested() const {
  return state_ && state_->run_depth > 1;
}

void MessageLoop::AddDestructionObserver(DestructionObserver* destruction_observer) {
  DCHECK_EQ(this, current());
  destruction_observers_.AddObserver(destruction_observer);
}

void MessageLoop::RemoveDestructionObserver(DestructionObserver* destruction_observer) {
  DCHECK_EQ(this, current());
  destruction_observers_.RemoveObserver(destruction_observer);
}

void MessageLoop::AddTaskObserver(TaskObserver* task_observer) {
  DCHECK_EQ(this, current());
  task_observers_.AddObserver(task_observer);
}

void MessageLoop::RemoveTaskObserver(TaskObserver* task_observer) {
  DCHECK_EQ(this, current());
  task_observers_.RemoveObserver(task_observer);
}

void MessageLoop::AssertIdle() const {
  base::AutoLock locked(incoming_queue_lock_);
}

bool MessageLoop::high_resolution_timers_enabled() const {
  base::AutoLock locked(incoming_queue_lock_);
  return !high_resolution_timer_expiration_.is_null();
}

base::MessagePumpWin* MessageLoop::pump_win() const {
  DCHECK(type_ == TYPE_UI || type_ == TYPE_IO);
  return static_cast<base::MessagePumpWin*>(pump_.get());
}

void MessageLoop::RunHandler() {
  if (exception_restoration_) {
    RunInternalInSEHFrame();
    return;
  }
  RunInternal();
}

void MessageLoop::RunInternalInSEHFrame() {
  LPTOP_LEVEL_EXCEPTION_FILTER top_filter = GetTopSEHFilter();
#if defined(_MSC_VER)
  __try {
    RunInternal();
  } __except (ReinstallTopSEHFilter(top_filter)) {
  }
#elif defined(__i386__)
  ScopedTopFilterFrame frame(top_filter);
  RunInternal();
#else
  // Elsewhere frames are described by unwind tables, not linked at run time.
  (void)top_filter;
  RunInternal();
#endif
}

void MessageLoop::RunInternal() {
  DCHECK_EQ(this, current());
  if (state_->dispatcher && type_ == TYPE_UI) {
    pump_win()->RunWithDispatcher(this, state_->dispatcher);
    return;
  }
  pump_->Run(this);
}

void MessageLoop::RunTask(const base::PendingTask& pending_task) {
  DCHECK(nestable_tasks_allowed_);
  // A task that runs the loop again has to allow nestable tasks itself.
  nestable_tasks_allowed_ = false;

  // Crash dumps show where the task was posted.
  const void* program_counter = pending_task.posted_from.program_counter();
  base::debug::Alias(&program_counter);

  FOR_EACH_OBSERVER(TaskObserver, task_observers_, WillRunTask(pending_task.time_posted));
  pending_task.task.Run();
  FOR_EACH_OBSERVER(TaskObserver, task_observers_, DidRunTask(pending_task.time_posted));

  nestable_tasks_allowed_ = true;
}

bool MessageLoop::DeferOrRunPendingTask(const base::PendingTask& pending_task) {
  if (pending_task.nestable || state_->run_depth == 1) {
    RunTask(pending_task);
    return true;
  }
  deferred_non_nestable_work_queue_.push(pending_task);
  return false;
}

void MessageLoop::AddToDelayedWorkQueue(const base::PendingTask& pending_task) {
  // Tasks leave the work queue in posting order, so the numbers keep that order among tasks
  // of equal run time.
  base::PendingTask new_pending_task(pending_task);
  new_pending_task.sequence_num = next_sequence_num_++;
  delayed_work_queue_.push(new_pending_task);
}

bool MessageLoop::ProcessNextDelayedNonNestableTask() {
  if (state_->run_depth != 1 || deferred_non_nestable_work_queue_.empty())
    return false;
  base::PendingTask pending_task = deferred_non_nestable_work_queue_.front();
  deferred_non_nestable_work_queue_.pop();
  RunTask(pending_task);
  return true;
}

void MessageLoop::PostTaskWithDelay(const tracked_objects::Location& from_here,
                                    const base::Closure& task,
                                    int64_t delay_ms,
                                    bool nestable) {
  base::PendingTask pending_task(from_here, task, base::TimeTicks(), nestable);
  AddToIncomingQueue(&pending_task, delay_ms);
}

void MessageLoop::AddToIncomingQueue(base::PendingTask* pending_task, int64_t delay_ms) {
  // The reference keeps the pump alive should the task destroy the loop before ScheduleWork
  // returns.
  scoped_refptr<base::MessagePump> pump;
  {
    base::AutoLock locked(incoming_queue_lock_);
    pending_task->delayed_run_time = CalculateDelayedRuntime(delay_ms);
    bool was_empty = incoming_queue_.empty();
    incoming_queue_.push(*pending_task);
    pending_task->task.Reset();  // the queued copy holds the bound state now
    if (!was_empty)
      return;  // a wake-up is pending already
    pump = pump_;
  }
  pump->ScheduleWork();
}

// Called with incoming_queue_lock_ held: every posting thread shares the lease.
base::TimeTicks MessageLoop::CalculateDelayedRuntime(int64_t delay_ms) {
  base::TimeTicks delayed_run_time;
  if (delay_ms > 0) {
    delayed_run_time = base::TimeTicks::Now() + base::TimeDelta::FromMilliseconds(delay_ms);
    if (high_resolution_timer_expiration_.is_null() &&
        delay_ms < 2 * base::Time::kMinLowResolutionThresholdMs &&
        base::Time::ActivateHighResolutionTimer(true)) {
      high_resolution_timer_expiration_ =
          base::TimeTicks::Now() +
          base::TimeDelta::FromMilliseconds(kHighResolutionTimerModeLeaseTimeMs);
    }
  }
  if (!high_resolution_timer_expiration_.is_null() &&
      base::TimeTicks::Now() > high_resolution_timer_expiration_) {
    base::Time::ActivateHighResolutionTimer(false);
    high_resolution_timer_expiration_ = base::TimeTicks();
  }
  return delayed_run_time;
}

void MessageLoop::ReloadWorkQueue() {
  // The lock is taken once per batch: only when the work queue has run dry.
  if (!work_queue_.empty())
    return;
  base::AutoLock locked(incoming_queue_lock_);
  if (!incoming_queue_.empty())
    incoming_queue_.Swap(&work_queue_);
}

bool MessageLoop::DeletePendingTasks() {
  bool did_work = !work_queue_.empty();
  while (!work_queue_.empty()) {
    base::PendingTask pending_task = work_queue_.front();
    work_queue_.pop();
    // Delayed tasks go through the heap, so that they die in the order they would have run.
    if (!pending_task.delayed_run_time.is_null())
      AddToDelayedWorkQueue(pending_task);
  }
  did_work |= !deferred_non_nestable_work_queue_.empty();
  while (!deferred_non_nestable_work_queue_.empty())
    deferred_non_nestable_work_queue_.pop();
  did_work |= !delayed_work_queue_.empty();
  while (!delayed_work_queue_.empty())
    delayed_work_queue_.pop();
  return did_work;
}

bool MessageLoop::DoWork() {
  if (!nestable_tasks_allowed_)
    return false;  // a task is running and has not allowed nested ones

  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty())
      return false;

    do {
      base::PendingTask pending_task = work_queue_.front();
      work_queue_.pop();
      if (!pending_task.delayed_run_time.is_null()) {
        AddToDelayedWorkQueue(pending_task);
        // A new earliest task moves the pump's wake-up forward.
        if (delayed_work_queue_.top().task.Equals(pending_task.task))
          pump_->ScheduleDelayedWork(pending_task.delayed_run_time);
      } else if (DeferOrRunPendingTask(pending_task)) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(base::TimeTicks* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    recent_time_ = *next_delayed_work_time = base::TimeTicks();
    return false;
  }

  base::TimeTicks next_run_time = delayed_work_queue_.top().delayed_run_time;
  if (next_run_time > recent_time_) {
    recent_time_ = base::TimeTicks::Now();
    if (next_run_time > recent_time_) {
      *next_delayed_work_time = next_run_time;
      return false;
    }
  }

  base::PendingTask pending_task = delayed_work_queue_.top();
  delayed_work_queue_.pop();
  if (!delayed_work_queue_.empty())
    *next_delayed_work_time = delayed_work_queue_.top().delayed_run_time;

  return DeferOrRunPendingTask(pending_task);
}

bool MessageLoop::DoIdleWork() {
  if (ProcessNextDelayedNonNestableTask())
    return true;
  if (state_->quit_received)
    pump_->Quit();
  return false;
}

MessageLoop::AutoRunState::AutoRunState(MessageLoop* loop)
    : run_depth(1),
      quit_received(false),
      dispatcher(nullptr),
      loop_(loop),
      previous_state_(loop->state_) {
  if (previous_state_)
    run_depth = previous_state_->run_depth + 1;
  loop_->state_ = this;
}

MessageLoop::AutoRunState::~AutoRunState() {
  loop_->state_ = previous_state_;
}

