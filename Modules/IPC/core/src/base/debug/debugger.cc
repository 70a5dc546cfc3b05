// Asking for and breaking into an attached debugger.
#include "base/debug/debugger.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace base {
namespace debug {

#if defined(_WIN32)

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

#else  // The native build of the platform-free code, for sanitizers and fuzzing.

bool BeingDebugged() {
  return false;
}

// The abort signal is what sanitizers and fuzzers report as a crash.
void BreakDebugger() {
  abort();
}

#endif

}  // namespace debug
}  // namespace base
