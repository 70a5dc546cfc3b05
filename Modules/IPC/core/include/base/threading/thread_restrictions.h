// Per-thread flags that mark what a thread must not do: blocking IO, using singletons that
// are destroyed at exit, and waiting. The checks are diagnostics and never stop a thread.
#ifndef BASE_THREADING_THREAD_RESTRICTIONS_H_
#define BASE_THREADING_THREAD_RESTRICTIONS_H_

namespace base {

// Every thread starts with everything allowed. Each setter acts on the calling thread and
// returns whether the thread was allowed before the call.
class ThreadRestrictions {
 public:
  // Allows IO on the calling thread for the holder's lifetime.
  class ScopedAllowIO {
   public:
    ScopedAllowIO() : previous_allowed_(SetIOAllowed(true)) {}
    ~ScopedAllowIO() { SetIOAllowed(previous_allowed_); }

    ScopedAllowIO(const ScopedAllowIO&) = delete;
    ScopedAllowIO& operator=(const ScopedAllowIO&) = delete;

   private:
    bool previous_allowed_;
  };

  // Allows singletons on the calling thread for the holder's lifetime.
  class ScopedAllowSingleton {
   public:
    ScopedAllowSingleton() : previous_allowed_(SetSingletonAllowed(true)) {}
    ~ScopedAllowSingleton() { SetSingletonAllowed(previous_allowed_); }

    ScopedAllowSingleton(const ScopedAllowSingleton&) = delete;
    ScopedAllowSingleton& operator=(const ScopedAllowSingleton&) = delete;

   private:
    bool previous_allowed_;
  };

  // Allows waiting on the calling thread for the holder's lifetime, e.g. around the wait
  // for a new thread to start.
  class ScopedAllowWait {
   public:
    ScopedAllowWait() : previous_allowed_(SetWaitAllowed(true)) {}
    ~ScopedAllowWait() { SetWaitAllowed(previous_allowed_); }

    ScopedAllowWait(const ScopedAllowWait&) = delete;
    ScopedAllowWait& operator=(const ScopedAllowWait&) = delete;

   private:
    bool previous_allowed_;
  };

  static bool SetIOAllowed(bool allowed);
  static void AssertIOAllowed();

  static bool SetSingletonAllowed(bool allowed);
  static void AssertSingletonAllowed();

  // Marks the calling thread as one that must not wait. Only ScopedAllowWait lifts it.
  static void DisallowWaiting();
  static void AssertWaitAllowed();

  ThreadRestrictions() = delete;

 private:
  static bool SetWaitAllowed(bool allowed);
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_RESTRICTIONS_H_
