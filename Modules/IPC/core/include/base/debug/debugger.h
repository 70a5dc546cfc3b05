// Asking for and breaking into an attached debugger.
#ifndef BASE_DEBUG_DEBUGGER_H_
#define BASE_DEBUG_DEBUGGER_H_

namespace base {
namespace debug {

// True when a debugger is attached to the process.
bool BeingDebugged();

// Raises a breakpoint exception. Without a debugger the exception is unhandled and the
// process ends as crashed; when a debugger (or a handler) lets execution go on, the
// process ends at once with exit code 1. Never returns.
[[noreturn]] void BreakDebugger();

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_DEBUGGER_H_
