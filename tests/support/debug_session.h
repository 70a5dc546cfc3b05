// Running a program under a small debugger loop to collect what it writes to the
// debugger output.
#ifndef SUPPORT_DEBUG_SESSION_H_
#define SUPPORT_DEBUG_SESSION_H_

#include <string>
#include <vector>

namespace test {

// One OUTPUT_DEBUG_STRING event as the debugger received it: UTF-16 text when the event
// says it is Unicode, else bytes in the ANSI code page.
struct DebugString {
  bool unicode = false;
  std::wstring wide;
  std::string ansi;

  // True when this is what a debugger receives for |text|: the text itself, or its
  // conversion to the ANSI code page (which is how some platforms deliver it).
  bool Matches(const std::wstring& text) const;
};

struct DebuggedRun {
  bool exited = false;  // false: the deadline passed and the program was terminated
  unsigned long exitCode = 0;
  std::vector<DebugString> strings;
};

// Starts |commandLine| in |workingFolder| as the only debuggee (DEBUG_ONLY_THIS_PROCESS,
// so the processes it starts run free) and runs the debugger loop on this thread until
// it exits or |timeoutMs| have passed.
DebuggedRun RunUnderDebugger(const std::wstring& commandLine, const std::wstring& workingFolder,
                             unsigned long timeoutMs);

}  // namespace test

#endif  // SUPPORT_DEBUG_SESSION_H_
