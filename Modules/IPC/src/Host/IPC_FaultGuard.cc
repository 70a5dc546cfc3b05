// The fault guard: MSVC catches with __try/__except; GCC has no structured exception
// handling, so, as for thread naming, a vectored handler watches the guarded thread while
// the task runs, and C++ exceptions (which do not pass through it) are caught directly.
#include "Host/IPC_FaultGuard.h"

#include <windows.h>

#include <atomic>

namespace {

const UINT kFaultExitCode = 1;

// Codes below this one are informational (debugger output, thread naming) and never faults.
const DWORD kFirstFaultCode = 0x80000000;

void Terminate(const wchar_t* message) {
  ::OutputDebugStringW(message);
  ::TerminateProcess(::GetCurrentProcess(), kFaultExitCode);
}

#if !defined(_MSC_VER)

// The thread in a guarded task and its message; one guarded task runs at a time.
std::atomic<DWORD> g_guarded_thread(0);
std::atomic<const wchar_t*> g_guarded_message(nullptr);

LONG CALLBACK TerminateOnFault(EXCEPTION_POINTERS* pointers) {
  if (::GetCurrentThreadId() == g_guarded_thread &&
      pointers->ExceptionRecord->ExceptionCode >= kFirstFaultCode)
    Terminate(g_guarded_message);
  return EXCEPTION_CONTINUE_SEARCH;
}

void RunGuarded(const base::Closure& task, const wchar_t* message) {
  g_guarded_message = message;
  g_guarded_thread = ::GetCurrentThreadId();
  void* handler = ::AddVectoredExceptionHandler(1, TerminateOnFault);
  task.Run();
  ::RemoveVectoredExceptionHandler(handler);
  g_guarded_thread = 0;
}

#else

void RunGuarded(const base::Closure& task, const wchar_t* message) {
  __try {
    task.Run();
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    Terminate(message);
  }
}

#endif  // !defined(_MSC_VER)

}  // namespace

void IPC_RunOrTerminate(const base::Closure& task, const wchar_t* message) {
  try {
    RunGuarded(task, message);
  } catch (...) {
    Terminate(message);
  }
}
