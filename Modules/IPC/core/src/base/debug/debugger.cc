// Asking for and breaking into an attached debugger.
#include "base/debug/debugger.h"

#include <windows.h>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace base {
namespace debug {

namespace {

// The code a FATAL message ends the process with when a debugger lets the breakpoint go.
const UINT kContinuedBreakExitCode = 1;

}  // namespace

bool BeingDebugged() {
  return IsDebuggerPresent() != FALSE;
}

void BreakDebugger() {
#if defined(_MSC_VER)
  __debugbreak();
#else
  __asm__ volatile("int3");
#endif
  // A debugger or a handler let the breakpoint go on: nothing may run after a fatal error.
  TerminateProcess(GetCurrentProcess(), kContinuedBreakExitCode);
  // Terminating the own process does not return; this only tells the compiler so.
  ExitProcess(kContinuedBreakExitCode);
}

}  // namespace debug
}  // namespace base
