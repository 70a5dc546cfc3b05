// Starting the build's programs from a test, with every wait bounded.
#ifndef SUPPORT_CHILD_PROCESS_H_
#define SUPPORT_CHILD_PROCESS_H_

#include <string>

#include "base/win/scoped_handle.h"

namespace test {

// The full path of the running test program.
std::wstring CurrentProgramPath();

// The path of the program |name| of the build, which stands beside the test programs.
std::wstring ProgramPath(const std::wstring& name);

// |program| in double quotes, then a space and |arguments|.
std::wstring CommandLine(const std::wstring& program, const std::wstring& arguments);

// A child process of a test, used by one test thread. A child still running when the
// object dies is terminated, so a failed test leaves nothing behind.
class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();

  // Starts the build's program |program| with |arguments|. Its standard input reads
  // |input|; its standard output and error go to temporary files that are readable once it
  // has ended.
  bool Start(const std::wstring& program, const std::wstring& arguments,
             const std::string& input = std::string());

  // Starts the build's program |program| with |arguments| reading |input| and writing
  // |output| (inheritable handles) as its standard streams, its errors going to a file.
  bool StartWithStreams(const std::wstring& program, const std::wstring& arguments,
                        base::win::NativeHandle input, base::win::NativeHandle output);

  // Starts |command_line| in |working_folder| (the test's own when empty), inheriting
  // nothing. A failure to start is a test failure.
  bool StartCommandLine(const std::wstring& command_line, const std::wstring& working_folder);

  // Waits up to |timeout_ms| for the child to end and reads its exit code. At the deadline
  // the child is terminated and the answer is false.
  bool WaitForExit(unsigned long timeout_ms, unsigned long* exit_code);

  // Ends the child at once with exit code 1 and waits for it to be gone.
  void Terminate();

  bool IsStarted() const { return process_.IsValid(); }
  unsigned long pid() const { return pid_; }

  // What the child wrote, read after it has ended (Start only).
  std::string ReadOutput() const;
  std::string ReadErrors() const;

 private:
  // Null |output| inherits nothing and redirects nothing.
  bool Launch(std::wstring command_line, const std::wstring& working_folder,
              base::win::NativeHandle input, base::win::NativeHandle output);

  base::win::ScopedHandle process_;
  base::win::ScopedFileHandle input_;
  base::win::ScopedFileHandle output_;
  base::win::ScopedFileHandle errors_;
  unsigned long pid_;

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
};

// Starts |command_line| in |working_folder|, then waits as ChildProcess::WaitForExit does.
bool RunToExit(const std::wstring& command_line, const std::wstring& working_folder,
               unsigned long timeout_ms, unsigned long* exit_code);

}  // namespace test

#endif  // SUPPORT_CHILD_PROCESS_H_
