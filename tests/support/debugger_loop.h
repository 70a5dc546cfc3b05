// A small debugger of the test's own: runs a program under it and records what a debugger
// sees (debugger output, exceptions, the exit code).
#ifndef SUPPORT_DEBUGGER_LOOP_H_
#define SUPPORT_DEBUGGER_LOOP_H_

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

  // The text as UTF-8 when it came as UTF-16, else the bytes as received.
  std::string Narrow() const;
};

struct DebuggerOptions {
  // First-chance exceptions with these codes are reported back as handled (the debugger
  // "lets the program go on"); all others are passed back to the program.
  std::vector<unsigned long> handled_exceptions;
  // Past this the program is terminated and the run counts as not ended.
  unsigned long timeout_ms = 60000;
  // The program's working folder; the test's own when empty.
  std::wstring working_folder;
};

struct DebuggedRun {
  bool started = false;
  unsigned long process_id = 0;
  bool ended = false;  // the program ended by itself before the deadline
  unsigned long exit_code = 0;
  std::vector<DebugString> debug_strings;  // OutputDebugString texts in order
  // First-chance exception codes in order, without the loader's initial breakpoint.
  std::vector<unsigned long> exceptions;
  // Names announced through the thread-naming exception (0x406D1388), read from the
  // program, in order.
  struct ThreadName {
    std::string name;
    unsigned long announced_thread_id;  // the id in the exception's arguments
    unsigned long raising_thread_id;    // the thread that raised it
  };
  std::vector<ThreadName> thread_names;
};

// Starts |command_line| (for a child test, see test::ChildTestCommandLine) as a debuggee of
// the calling thread and debugs it until it ends or the deadline passes. Only that process
// is debugged (DEBUG_ONLY_THIS_PROCESS): the processes it starts run free.
DebuggedRun RunUnderDebugger(const std::wstring& command_line, const DebuggerOptions& options);

}  // namespace test

#endif  // SUPPORT_DEBUGGER_LOOP_H_
