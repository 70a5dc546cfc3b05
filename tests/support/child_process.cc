// Starting a helper program with its output captured in temporary files.
#include "support/child_process.h"

#include <windows.h>

#include <vector>

#include "support/unique_name.h"

namespace test {

namespace {

const DWORD kLongPathLength = 32768;

// Termination is immediate; the wait only covers the process object becoming signalled.
const DWORD kTerminationWaitMs = 10000;

std::wstring ProgramFolder() {
  std::vector<wchar_t> path(kLongPathLength);
  DWORD length = GetModuleFileNameW(nullptr, path.data(), kLongPathLength);
  std::wstring folder(path.data(), length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// A file that the child inherits as a standard stream and that vanishes with the last handle.
HANDLE CreateCaptureFile(const wchar_t* purpose) {
  wchar_t temp_folder[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp_folder);
  std::wstring path = temp_folder + UniqueWideName(std::wstring(L"child-") + purpose + L"-");
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                     nullptr);
}

// The child wrote through the same file object, so the shared position is at its end.
std::string ReadCaptureFile(const base::win::ScopedFileHandle& file) {
  std::string text;
  if (!file.IsValid() || SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) != 0)
    return text;
  char buffer[4096];
  DWORD bytes_read = 0;
  while (ReadFile(file.Get(), buffer, sizeof(buffer), &bytes_read, nullptr) && bytes_read > 0)
    text.append(buffer, bytes_read);
  return text;
}

}  // namespace

ChildProcess::ChildProcess() : pid_(0) {}

ChildProcess::~ChildProcess() {
  Terminate();
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments) {
  output_.Set(CreateCaptureFile(L"out"));
  errors_.Set(CreateCaptureFile(L"err"));
  if (!output_.IsValid() || !errors_.IsValid())
    return false;

  std::wstring command_line = L"\"" + ProgramFolder() + program + L"\" " + arguments;
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  startup_info.dwFlags = STARTF_USESTDHANDLES;
  startup_info.hStdOutput = output_.Get();
  startup_info.hStdError = errors_.Get();
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup_info, &process_info))
    return false;
  base::win::ScopedHandle thread(process_info.hThread);
  process_.Set(process_info.hProcess);
  pid_ = process_info.dwProcessId;
  return true;
}

bool ChildProcess::WaitForExit(unsigned long timeout_ms, unsigned long* exit_code) {
  if (!process_.IsValid() || WaitForSingleObject(process_.Get(), timeout_ms) != WAIT_OBJECT_0)
    return false;
  DWORD code = 0;
  GetExitCodeProcess(process_.Get(), &code);
  *exit_code = code;
  return true;
}

void ChildProcess::Terminate() {
  if (!process_.IsValid())
    return;
  if (WaitForSingleObject(process_.Get(), 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_.Get(), 1);
    WaitForSingleObject(process_.Get(), kTerminationWaitMs);
  }
}

std::string ChildProcess::ReadOutput() const {
  return ReadCaptureFile(output_);
}

std::string ChildProcess::ReadErrors() const {
  return ReadCaptureFile(errors_);
}

}  // namespace test
