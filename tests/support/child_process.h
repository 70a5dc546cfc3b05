// A helper program started by a test as a second process, with its standard output and
// error kept for the test to read, and every wait bounded.
#ifndef SUPPORT_CHILD_PROCESS_H_
#define SUPPORT_CHILD_PROCESS_H_

#include <string>

#include "base/win/scoped_handle.h"

namespace test {

// Used by one test thread. The child's standard output and error go to temporary files that
// are readable once it has ended; a child still running when the object dies is terminated.
class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();

  // Starts |program|, a file in the test program's own folder, with |arguments|.
  bool Start(const std::wstring& program, const std::wstring& arguments);

  // Waits up to |timeout_ms| for the child to end; false when it did not, or never started.
  bool WaitForExit(unsigned long timeout_ms, unsigned long* exit_code);

  // Ends the child at once with exit code 1 and waits for it to be gone.
  void Terminate();

  unsigned long pid() const { return pid_; }

  // What the child wrote, read after it has ended.
  std::string ReadOutput() const;
  std::string ReadErrors() const;

 private:
  base::win::ScopedHandle process_;
  base::win::ScopedFileHandle output_;
  base::win::ScopedFileHandle errors_;
  unsigned long pid_;

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
};

}  // namespace test

#endif  // SUPPORT_CHILD_PROCESS_H_
