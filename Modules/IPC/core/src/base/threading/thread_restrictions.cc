// The per-thread restriction flags, each a leaky thread-local boolean: they must outlive
// every thread, including those still running during the at-exit teardown.
#include "base/threading/thread_restrictions.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_local.h"

namespace base {

namespace {

// Each flag is set while the thread is disallowed, so a fresh thread reads "allowed".
LazyInstance<ThreadLocalBoolean>::Leaky g_io_disallowed = LAZY_INSTANCE_INITIALIZER;
LazyInstance<ThreadLocalBoolean>::Leaky g_singleton_disallowed = LAZY_INSTANCE_INITIALIZER;
LazyInstance<ThreadLocalBoolean>::Leaky g_wait_disallowed = LAZY_INSTANCE_INITIALIZER;

// Sets the calling thread's |disallowed| flag to !|allowed|; answers whether the thread
// was allowed before.
bool SetAllowed(ThreadLocalBoolean& disallowed, bool allowed) {
  bool previously_allowed = !disallowed.Get();
  disallowed.Set(!allowed);
  return previously_allowed;
}

// Diagnostics only: nothing may depend on the outcome, so a violation is reported and the
// thread goes on.
void ReportIfDisallowed(const ThreadLocalBoolean& disallowed, const char* what) {
  LOG_IF(WARNING, disallowed.Get())
      << what << " is not allowed on thread " << PlatformThread::CurrentId();
}

}  // namespace

// static
bool ThreadRestrictions::SetIOAllowed(bool allowed) {
  return SetAllowed(g_io_disallowed.Get(), allowed);
}

// static
void ThreadRestrictions::AssertIOAllowed() {
  ReportIfDisallowed(g_io_disallowed.Get(), "Blocking IO");
}

// static
bool ThreadRestrictions::SetSingletonAllowed(bool allowed) {
  return SetAllowed(g_singleton_disallowed.Get(), allowed);
}

// static
void ThreadRestrictions::AssertSingletonAllowed() {
  ReportIfDisallowed(g_singleton_disallowed.Get(), "Using a singleton destroyed at exit");
}

// static
void ThreadRestrictions::DisallowWaiting() {
  g_wait_disallowed.Get().Set(true);
}

// static
void ThreadRestrictions::AssertWaitAllowed() {
  ReportIfDisallowed(g_wait_disallowed.Get(), "Waiting");
}

// static
bool ThreadRestrictions::SetWaitAllowed(bool allowed) {
  return SetAllowed(g_wait_disallowed.Get(), allowed);
}

}  // namespace base
