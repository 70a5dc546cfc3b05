// OS threads over CreateThread, and thread names announced to debuggers.
#include "base/threading/platform_thread.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "base/logging.h"
#include "base/threading/thread_local.h"
#include "base/threading/thread_restrictions.h"
#include "base/time.h"

namespace base {

namespace {

// The exception through which debuggers learn thread names, and its record type.
const DWORD kThreadNamingException = 0x406D1388;
const ULONG_PTR kThreadNameInfoType = 0x1000;
const ULONG kThreadNameInfoArgs = 4;

// Announced to debuggers whether or not one is attached.
const char kAlwaysAnnouncedName[] = "BrokerEvent";

struct ThreadParams {
  PlatformThread::Delegate* delegate;
  bool joinable;
};

DWORD WINAPI ThreadFunc(void* params) {
  ThreadParams* thread_params = static_cast<ThreadParams*>(params);
  PlatformThread::Delegate* delegate = thread_params->delegate;
  // Nobody joins this thread, so it may still run when the at-exit manager destroys the
  // process's singletons.
  if (!thread_params->joinable)
    ThreadRestrictions::SetSingletonAllowed(false);
  delete thread_params;
  delegate->ThreadMain();
  return 0;
}

// Creates the thread; hands its handle to |out_thread_handle| or, when that is null,
// closes it.
bool CreateThreadInternal(size_t stack_size, PlatformThread::Delegate* delegate,
                          PlatformThreadHandle* out_thread_handle) {
  // Every supported Windows (XP and later) takes the size as a reservation, which keeps
  // the committed part of the stack at the executable's default.
  DWORD flags = 0;
  if (stack_size > 0)
    flags = STACK_SIZE_PARAM_IS_A_RESERVATION;
  ThreadParams* params = new ThreadParams;
  params->delegate = delegate;
  params->joinable = out_thread_handle != nullptr;
  PlatformThreadHandle thread(
      ::CreateThread(nullptr, stack_size, ThreadFunc, params, flags, nullptr));
  if (!thread.IsValid()) {
    delete params;
    return false;
  }
  if (out_thread_handle)
    *out_thread_handle = std::move(thread);
  return true;
}

// A negative count would reach the OS as INFINITE or close to it, and a count beyond
// INFINITE - 1 would sleep forever instead of for the (still very long) time asked for.
void SleepMilliseconds(int64_t duration_ms) {
  const int64_t kMaxSleepMs = INFINITE - 1;
  if (duration_ms < 0)
    duration_ms = 0;
  if (duration_ms > kMaxSleepMs)
    duration_ms = kMaxSleepMs;
  ::Sleep(static_cast<DWORD>(duration_ms));
}

// Per-thread state of thread naming: the name given to SetName, and the name being
// announced while SetName raises the naming exception.
class ThreadNames {
 public:
  ThreadNames();
  ~ThreadNames();

  ThreadNames(const ThreadNames&) = delete;
  ThreadNames& operator=(const ThreadNames&) = delete;

  static ThreadNames& Get();

  const char* name() const { return name_.Get(); }
  void set_name(const char* name) { name_.Set(name); }

  // Raises the naming exception for |name| and catches it at once.
  void Announce(const char* name);

 private:
  // Raises the naming exception with the arguments |info| and continues after it.
  void RaiseAndContinue(const ULONG_PTR* info);

#if !defined(_MSC_VER)
  static LONG CALLBACK ContinueAfterAnnouncement(EXCEPTION_POINTERS* pointers);

  void* handler_;  // from AddVectoredExceptionHandler
  ThreadLocalPointer<const char> announcing_;
#endif
  ThreadLocalPointer<const char> name_;
};

// Built by the static initialiser below, or earlier by a SetName from another static
// initialiser; destroyed at process exit.
ThreadNames& ThreadNames::Get() {
  static ThreadNames names;
  return names;
}

const ThreadNames& g_thread_names_at_start = ThreadNames::Get();

#if defined(_MSC_VER)

ThreadNames::ThreadNames() {}
ThreadNames::~ThreadNames() {}

void ThreadNames::RaiseAndContinue(const ULONG_PTR* info) {
  __try {
    ::RaiseException(kThreadNamingException, 0, kThreadNameInfoArgs, info);
  } __except (EXCEPTION_EXECUTE_HANDLER) {
  }
}

#else

// GCC has no __try/__except, so a vectored handler stands in for the frame handler: it
// continues exactly the naming exception that this thread raises inside Announce and
// leaves every other exception to the handlers after it. An attached debugger still sees
// the exception first, which is how it learns the name.
ThreadNames::ThreadNames()
    : handler_(::AddVectoredExceptionHandler(1, ContinueAfterAnnouncement)) {}

ThreadNames::~ThreadNames() {
  ::RemoveVectoredExceptionHandler(handler_);
}

void ThreadNames::RaiseAndContinue(const ULONG_PTR* info) {
  announcing_.Set(reinterpret_cast<const char*>(info[1]));
  ::RaiseException(kThreadNamingException, 0, kThreadNameInfoArgs, info);
  announcing_.Set(nullptr);
}

LONG CALLBACK ThreadNames::ContinueAfterAnnouncement(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode != kThreadNamingException ||
      record->NumberParameters != kThreadNameInfoArgs)
    return EXCEPTION_CONTINUE_SEARCH;
  const char* announcing = Get().announcing_.Get();
  if (!announcing || record->ExceptionInformation[0] != kThreadNameInfoType ||
      record->ExceptionInformation[1] != reinterpret_cast<ULONG_PTR>(announcing) ||
      record->ExceptionInformation[2] != ::GetCurrentThreadId())
    return EXCEPTION_CONTINUE_SEARCH;
  return EXCEPTION_CONTINUE_EXECUTION;
}

#endif  // defined(_MSC_VER)

void ThreadNames::Announce(const char* name) {
  const ULONG_PTR info[kThreadNameInfoArgs] = {
      kThreadNameInfoType, reinterpret_cast<ULONG_PTR>(name), ::GetCurrentThreadId(), 0};
  RaiseAndContinue(info);
}

}  // namespace

// static
bool PlatformThread::Create(size_t stack_size, Delegate* delegate,
                            PlatformThreadHandle* thread_handle) {
  DCHECK(thread_handle);
  return CreateThreadInternal(stack_size, delegate, thread_handle);
}

// static
bool PlatformThread::CreateWithPriority(size_t stack_size, Delegate* delegate,
                                        PlatformThreadHandle* thread_handle,
                                        ThreadPriority priority) {
  DCHECK(thread_handle);
  if (!Create(stack_size, delegate, thread_handle))
    return false;
  if (thread_handle)
    SetThreadPriority(*thread_handle, priority);
  return true;
}

// static
bool PlatformThread::CreateNonJoinable(size_t stack_size, Delegate* delegate) {
  return CreateThreadInternal(stack_size, delegate, nullptr);
}

// static
void PlatformThread::Join(PlatformThreadHandle thread_handle) {
  ::WaitForSingleObject(thread_handle.Get(), INFINITE);
}

// static
void PlatformThread::SetThreadPriority(const PlatformThreadHandle& thread_handle,
                                       ThreadPriority priority) {
  switch (priority) {
    case kThreadPriority_Normal:
      ::SetThreadPriority(thread_handle.Get(), THREAD_PRIORITY_NORMAL);
      break;
    case kThreadPriority_TimeCritical:
      ::SetThreadPriority(thread_handle.Get(), THREAD_PRIORITY_TIME_CRITICAL);
      break;
  }
}

// static
void PlatformThread::Sleep(int duration_ms) {
  SleepMilliseconds(duration_ms);
}

// static
void PlatformThread::Sleep(TimeDelta duration) {
  SleepMilliseconds(duration.InMillisecondsRoundedUp());
}

// static
void PlatformThread::YieldCurrentThread() {
  ::Sleep(0);
}

// static
PlatformThreadId PlatformThread::CurrentId() {
  return ::GetCurrentThreadId();
}

// static
void PlatformThread::SetName(const char* name) {
  ThreadNames& names = ThreadNames::Get();
  names.set_name(name);
  if (!name)
    return;
  if (std::strcmp(name, kAlwaysAnnouncedName) == 0 || ::IsDebuggerPresent())
    names.Announce(name);
}

// static
const char* PlatformThread::GetName() {
  return ThreadNames::Get().name();
}

}  // namespace base
