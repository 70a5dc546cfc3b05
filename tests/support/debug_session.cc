// A minimal debugger loop for tests.
#include "support/debug_session.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/win/scoped_handle.h"

namespace test {
namespace {

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

// The image file handles of the creation and load events belong to the debugger.
void ReleaseImageHandle(HANDLE file) {
  base::win::ScopedFileHandle owned(file);
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

// Handles one event; answers how the debuggee goes on.
DWORD HandleEvent(const DEBUG_EVENT& event, HANDLE process, DebuggedRun* run) {
  switch (event.dwDebugEventCode) {
    case CREATE_PROCESS_DEBUG_EVENT:
      ReleaseImageHandle(event.u.CreateProcessInfo.hFile);
      break;
    case LOAD_DLL_DEBUG_EVENT:
      ReleaseImageHandle(event.u.LoadDll.hFile);
      break;
    case OUTPUT_DEBUG_STRING_EVENT:
      run->strings.push_back(ReadDebugString(process, event.u.DebugString));
      break;
    case EXCEPTION_DEBUG_EVENT:
      // The loader's breakpoint is the debugger's to swallow; every other exception is
      // the program's own to handle.
      if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
        return DBG_EXCEPTION_NOT_HANDLED;
      break;
    case EXIT_PROCESS_DEBUG_EVENT:
      run->exited = true;
      run->exitCode = event.u.ExitProcess.dwExitCode;
      break;
    default:
      break;
  }
  return DBG_CONTINUE;
}

}  // namespace

bool DebugString::Matches(const std::wstring& text) const {
  return unicode ? wide == text : ansi == ToAnsi(text);
}

DebuggedRun RunUnderDebugger(const std::wstring& commandLine, const std::wstring& workingFolder,
                             unsigned long timeoutMs) {
  DebuggedRun run;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, workingFolder.empty() ? nullptr : workingFolder.c_str(),
                      &startup, &created)) {
    ADD_FAILURE() << "cannot start the debuggee, error " << GetLastError();
    return run;
  }
  base::win::ScopedHandle process(created.hProcess);
  base::win::ScopedHandle thread(created.hThread);

  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!run.exited) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) {
      TerminateProcess(process.Get(), 1);
      DebugActiveProcessStop(created.dwProcessId);
      break;
    }
    DEBUG_EVENT event = {};
    if (!WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now)))
      continue;
    const DWORD status = HandleEvent(event, process.Get(), &run);
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  return run;
}

}  // namespace test
