// The test debugger: one process, debugged from the calling thread until it ends.
#include "support/debugger_loop.h"

#include <windows.h>

#include <algorithm>

#include "base/utf_string_conversions.h"
#include "base/win/scoped_handle.h"

namespace test {

namespace {

// What a program that ignored the deadline is terminated with.
const UINT kDeadlineExitCode = 0xDEAD;
// How long a terminated program may take to report its end.
const DWORD kTerminationGraceMs = 5000;

// The exception through which debuggers learn thread names, and its record type.
const DWORD kThreadNamingException = 0x406D1388;
const ULONG_PTR kThreadNameInfoType = 0x1000;
const size_t kMaxThreadNameLength = 256;

// The NUL-terminated narrow text at |address| in |process|, cut at kMaxThreadNameLength.
std::string ReadString(HANDLE process, ULONG_PTR address) {
  std::string text;
  char c = 0;
  while (text.size() < kMaxThreadNameLength &&
         ReadProcessMemory(process, reinterpret_cast<const void*>(address + text.size()), &c, 1,
                           nullptr) &&
         c != 0) {
    text += c;
  }
  return text;
}

// The debugger owns the image file handles that debug events hand it.
void CloseImageFile(HANDLE file) {
  base::win::ScopedFileHandle owner(file);
}

std::string ToAnsi(const std::wstring& text) {
  if (text.empty())
    return std::string();
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr,
                                       nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, &bytes[0], size, nullptr, nullptr);
  return bytes;
}

// Reads the string of |info| from the debuggee; its length counts the terminating NUL.
DebugString ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  DebugString received;
  received.unicode = info.fUnicode != 0;
  const size_t units = info.nDebugStringLength > 0 ? info.nDebugStringLength - 1 : 0;
  SIZE_T read = 0;
  if (received.unicode) {
    received.wide.resize(units);
    ReadProcessMemory(process, info.lpDebugStringData, &received.wide[0],
                      units * sizeof(wchar_t), &read);
    received.wide.resize(read / sizeof(wchar_t));
  } else {
    received.ansi.resize(units);
    ReadProcessMemory(process, info.lpDebugStringData, &received.ansi[0], units, &read);
    received.ansi.resize(read);
  }
  return received;
}

// The size of the program's image, from its PE header in the debugged process.
DWORD ImageSize(HANDLE process, const void* image_base) {
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS nt;
  const char* base = static_cast<const char*>(image_base);
  if (!ReadProcessMemory(process, base, &dos, sizeof(dos), nullptr) ||
      !ReadProcessMemory(process, base + dos.e_lfanew, &nt, sizeof(nt), nullptr)) {
    return 0;
  }
  return nt.OptionalHeader.SizeOfImage;
}

class DebugLoop {
 public:
  DebugLoop(const DebuggerOptions& options, DebuggedRun* run)
      : options_(options), run_(run) {}

  // Answers false once the program's end has been reported.
  bool Handle(const DEBUG_EVENT& event, DWORD* continue_status) {
    *continue_status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        CloseImageFile(event.u.CreateProcessInfo.hFile);
        image_base_ = static_cast<const char*>(event.u.CreateProcessInfo.lpBaseOfImage);
        image_size_ = ImageSize(event.u.CreateProcessInfo.hProcess, image_base_);
        process_ = event.u.CreateProcessInfo.hProcess;
        break;
      case LOAD_DLL_DEBUG_EVENT:
        CloseImageFile(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        run_->debug_strings.push_back(ReadDebugString(process_, event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT:
        RecordThreadName(event);
        *continue_status = OnException(event.u.Exception);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        run_->exit_code = event.u.ExitProcess.dwExitCode;
        return false;
      default:
        break;
    }
    return true;
  }

 private:
  // A naming exception carries four pointer-sized arguments: 0x1000, the name's address in
  // the program, the thread id and flags.
  void RecordThreadName(const DEBUG_EVENT& event) {
    const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
    if (!event.u.Exception.dwFirstChance || record.ExceptionCode != kThreadNamingException ||
        record.NumberParameters != 4 || record.ExceptionInformation[0] != kThreadNameInfoType)
      return;
    run_->thread_names.push_back(
        {ReadString(process_, record.ExceptionInformation[1]),
         static_cast<unsigned long>(record.ExceptionInformation[2]), event.dwThreadId});
  }

  DWORD OnException(const EXCEPTION_DEBUG_INFO& info) {
    const DWORD code = info.ExceptionRecord.ExceptionCode;
    const bool first = !seen_exception_;
    seen_exception_ = true;
    if (!info.dwFirstChance)
      return DBG_EXCEPTION_NOT_HANDLED;
    // The loader breaks once into a new debuggee, from outside the program's image.
    if (first && code == EXCEPTION_BREAKPOINT && !InImage(info.ExceptionRecord.ExceptionAddress))
      return DBG_CONTINUE;
    run_->exceptions.push_back(code);
    const std::vector<unsigned long>& handled = options_.handled_exceptions;
    return std::find(handled.begin(), handled.end(), code) != handled.end()
               ? DBG_CONTINUE
               : DBG_EXCEPTION_NOT_HANDLED;
  }

  bool InImage(const void* address) const {
    const char* p = static_cast<const char*>(address);
    return p >= image_base_ && p < image_base_ + image_size_;
  }

  const DebuggerOptions& options_;
  DebuggedRun* run_;
  HANDLE process_ = nullptr;  // owned by the debugging system
  const char* image_base_ = nullptr;
  DWORD image_size_ = 0;
  bool seen_exception_ = false;
};

}  // namespace

bool DebugString::Matches(const std::wstring& text) const {
  return unicode ? wide == text : ansi == ToAnsi(text);
}

std::string DebugString::Narrow() const {
  return unicode ? base::WideToUTF8(wide) : ansi;
}

DebuggedRun RunUnderDebugger(const std::wstring& command_line, const DebuggerOptions& options) {
  DebuggedRun run;
  std::wstring mutable_line = command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  const wchar_t* folder =
      options.working_folder.empty() ? nullptr : options.working_folder.c_str();
  if (!CreateProcessW(nullptr, &mutable_line[0], nullptr, nullptr, FALSE,
                      DEBUG_ONLY_THIS_PROCESS, nullptr, folder, &startup, &info)) {
    return run;
  }
  run.started = true;
  run.process_id = info.dwProcessId;
  base::win::ScopedHandle process(info.hProcess);
  base::win::ScopedHandle thread(info.hThread);

  DebugLoop loop(options, &run);
  const ULONGLONG deadline = GetTickCount64() + options.timeout_ms;
  bool terminated = false;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    DWORD wait_ms = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    if (terminated)
      wait_ms = kTerminationGraceMs;
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, wait_ms)) {
      if (terminated)
        break;  // the program does not even report its end: give it up
      TerminateProcess(process.Get(), kDeadlineExitCode);
      terminated = true;
      continue;
    }
    DWORD continue_status = DBG_CONTINUE;
    const bool going_on = loop.Handle(event, &continue_status);
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continue_status);
    if (!going_on) {
      run.ended = !terminated;
      break;
    }
  }
  return run;
}

}  // namespace test
