// How a failed check ends a process, for death tests: the FATAL line goes to standard error,
// then the breakpoint it raises is unhandled.
#ifndef SUPPORT_FATAL_CHECK_H_
#define SUPPORT_FATAL_CHECK_H_

namespace test {

// STATUS_BREAKPOINT: the exception a failed check raises.
constexpr unsigned long kBreakpointException = 0x80000003u;

// The same code as the exit code of the crashed process, in the int form of
// testing::ExitedWithCode.
constexpr int kFailedCheckExitCode = static_cast<int>(kBreakpointException);

}  // namespace test

#endif  // SUPPORT_FATAL_CHECK_H_
