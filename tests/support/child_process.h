// Starting the build's programs from a test and waiting for them with a deadline.
#ifndef SUPPORT_CHILD_PROCESS_H_
#define SUPPORT_CHILD_PROCESS_H_

#include <string>

#include "base/win/scoped_handle.h"

namespace test {

// The path of the program |name| of the build, which stands beside the test programs.
std::wstring ProgramPath(const std::wstring& name);

// |program| in double quotes, then a space and |arguments|.
std::wstring CommandLine(const std::wstring& program, const std::wstring& arguments);

struct ChildProcess {
  base::win::ScopedHandle process;
  unsigned long id = 0;
};

// Starts |commandLine| in |workingFolder| (the test's own when empty). A failure to start
// is a test failure and leaves |child| empty.
bool StartChild(const std::wstring& commandLine, const std::wstring& workingFolder,
                ChildProcess* child);

// Waits up to |timeoutMs| for |child| to end and reads its exit code. At the deadline the
// child is terminated and the answer is false.
bool WaitForExit(ChildProcess& child, unsigned long timeoutMs, unsigned long* exitCode);

// StartChild, then WaitForExit.
bool RunToExit(const std::wstring& commandLine, const std::wstring& workingFolder,
               unsigned long timeoutMs, unsigned long* exitCode);

}  // namespace test

#endif  // SUPPORT_CHILD_PROCESS_H_
