// Child processes of tests.
#include "support/child_process.h"

#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

namespace test {

std::wstring ProgramPath(const std::wstring& name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

std::wstring CommandLine(const std::wstring& program, const std::wstring& arguments) {
  return L"\"" + program + L"\" " + arguments;
}

bool StartChild(const std::wstring& commandLine, const std::wstring& workingFolder,
                ChildProcess* child) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                      &created)) {
    ADD_FAILURE() << "cannot start a child process, error " << GetLastError();
    return false;
  }
  base::win::ScopedHandle thread(created.hThread);
  child->process.Set(created.hProcess);
  child->id = created.dwProcessId;
  return true;
}

bool WaitForExit(ChildProcess& child, unsigned long timeoutMs, unsigned long* exitCode) {
  if (WaitForSingleObject(child.process.Get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(child.process.Get(), 1);
    WaitForSingleObject(child.process.Get(), timeoutMs);
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(child.process.Get(), &code);
  *exitCode = code;
  return true;
}

bool RunToExit(const std::wstring& commandLine, const std::wstring& workingFolder,
               unsigned long timeoutMs, unsigned long* exitCode) {
  ChildProcess child;
  return StartChild(commandLine, workingFolder, &child) &&
         WaitForExit(child, timeoutMs, exitCode);
}

}  // namespace test
