// How a failed check ends a process, for death tests: the FATAL line goes to standard error,
// then the breakpoint it raises is unhandled.
#ifndef SUPPORT_FATAL_CHECK_H_
#define SUPPORT_FATAL_CHECK_H_

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <csignal>
#endif

namespace test {

// STATUS_BREAKPOINT: the exception a failed check raises.
constexpr unsigned long kBreakpointException = 0x80000003u;

// The same code as the exit code of the crashed process, in the int form of
// testing::ExitedWithCode.
constexpr int kFailedCheckExitCode = static_cast<int>(kBreakpointException);

// The end of a process whose check failed, as a death-test predicate. The native build of
// the platform-free code aborts instead of raising a breakpoint.
#if defined(_WIN32)
inline testing::ExitedWithCode EndedByFailedCheck() {
  return testing::ExitedWithCode(kFailedCheckExitCode);
}
#else
inline testing::KilledBySignal EndedByFailedCheck() {
  return testing::KilledBySignal(SIGABRT);
}
#endif

}  // namespace test

#endif  // SUPPORT_FATAL_CHECK_H_
