// OS threads: creating, joining, prioritising and naming them, and sleeping.
#ifndef BASE_THREADING_PLATFORM_THREAD_H_
#define BASE_THREADING_PLATFORM_THREAD_H_

#include <cstddef>

#include "base/win/scoped_handle.h"

namespace base {

class TimeDelta;

// The owner of a joinable thread's handle. The creator holds it until it hands it to
// PlatformThread::Join, which closes it.
typedef win::ScopedHandle PlatformThreadHandle;

// An OS thread id (a DWORD).
typedef unsigned long PlatformThreadId;

// Any other value is accepted and ignored by PlatformThread::SetThreadPriority.
enum ThreadPriority {
  kThreadPriority_Normal = 0,
  kThreadPriority_TimeCritical = 1,
};

// Static entry points only. Every operation may be called from any thread; SetName and
// GetName act on the calling thread.
class PlatformThread {
 public:
  // The body of a new thread. It must outlive the thread's call of ThreadMain.
  class Delegate {
   public:
    virtual ~Delegate() {}
    virtual void ThreadMain() = 0;
  };

  // Starts a joinable thread running |delegate|->ThreadMain() and hands its handle to
  // |thread_handle| (not null). A |stack_size| of 0 means the OS default; otherwise it is the
  // stack reservation. Returns false, with nothing started, when the OS refuses.
  static bool Create(size_t stack_size, Delegate* delegate, PlatformThreadHandle* thread_handle);

  // Create, then SetThreadPriority(|priority|) on success.
  static bool CreateWithPriority(size_t stack_size, Delegate* delegate,
                                 PlatformThreadHandle* thread_handle, ThreadPriority priority);

  // Starts a thread that nobody joins; its handle is closed at once. The thread runs with
  // singletons disallowed, since it may outlive the process's at-exit teardown.
  static bool CreateNonJoinable(size_t stack_size, Delegate* delegate);

  // Waits without timeout for the thread to end, then closes its handle. Pass the owner
  // with std::move: it is empty afterwards.
  static void Join(PlatformThreadHandle thread_handle);

  static void SetThreadPriority(const PlatformThreadHandle& thread_handle,
                                ThreadPriority priority);

  // A negative duration sleeps not at all.
  static void Sleep(int duration_ms);
  // Sleeps for |duration| rounded up to whole milliseconds; negative sleeps not at all.
  static void Sleep(TimeDelta duration);

  // Gives the rest of the time slice to any ready thread (Sleep(0)).
  static void YieldCurrentThread();

  static PlatformThreadId CurrentId();

  // Names the calling thread. |name| is not copied: it must stay valid while the thread
  // may call GetName. When |name| is "BrokerEvent" or a debugger is attached, the name
  // is also announced to the debugger through its thread-naming exception.
  static void SetName(const char* name);

  // The calling thread's name as given to SetName, or null.
  static const char* GetName();

  PlatformThread() = delete;
};

}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_H_
