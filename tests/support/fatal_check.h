// How a failed check ends a process, for death tests: the FATAL line goes to standard error,
// then the breakpoint it raises is unhandled.
#ifndef SUPPORT_FATAL_CHECK_H_
#define SUPPORT_FATAL_CHECK_H_

namespace test {

// STATUS_BREAKPOINT as the exit code of the crashed process, in the int form of
// testing::ExitedWithCode.
constexpr int kFailedCheckExitCode = static_cast<int>(0x80000003u);

}  // namespace test

#endif  // SUPPORT_FATAL_CHECK_H_
