// Child processes of tests.
#include "support/child_process.h"

#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "base/win/read_to_end.h"
#include "support/unique_name.h"

namespace test {

namespace {

// Termination is immediate; the wait only covers the process object becoming signalled.
const DWORD kTerminationWaitMs = 10000;

// Starts that Wine fails with ERROR_INTERNAL_ERROR are tried this often, this far apart.
const int kStartAttempts = 3;
const DWORD kStartRetryPauseMs = 50;

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
  if (file.IsValid() && SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == 0)
    base::win::ReadToEnd(file.Get(), &text);
  return text;
}

// Writes |text| into |file| and rewinds it, so that a child reads |text| from its start.
bool FillInputFile(const base::win::ScopedFileHandle& file, const std::string& text) {
  DWORD written = 0;
  if (!text.empty() &&
      (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
       written != text.size()))
    return false;
  return SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == 0;
}

}  // namespace

std::wstring CurrentProgramPath() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size())
      return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

std::wstring ProgramPath(const std::wstring& name) {
  std::wstring self = CurrentProgramPath();
  return self.substr(0, self.find_last_of(L"\\/") + 1) + name;
}

std::wstring CommandLine(const std::wstring& program, const std::wstring& arguments) {
  return L"\"" + program + L"\" " + arguments;
}

ChildProcess::ChildProcess() : pid_(0) {}

ChildProcess::~ChildProcess() {
  Terminate();
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments,
                         const std::string& input) {
  input_.Set(CreateCaptureFile(L"in"));
  output_.Set(CreateCaptureFile(L"out"));
  errors_.Set(CreateCaptureFile(L"err"));
  if (!input_.IsValid() || !output_.IsValid() || !errors_.IsValid() ||
      !FillInputFile(input_, input))
    return false;
  return Launch(CommandLine(ProgramPath(program), arguments), std::wstring(), input_.Get(),
                output_.Get());
}

bool ChildProcess::StartWithStreams(const std::wstring& program, const std::wstring& arguments,
                                    base::win::NativeHandle input,
                                    base::win::NativeHandle output) {
  errors_.Set(CreateCaptureFile(L"err"));
  if (!errors_.IsValid())
    return false;
  return Launch(CommandLine(ProgramPath(program), arguments), std::wstring(), input, output);
}

bool ChildProcess::StartCommandLine(const std::wstring& command_line,
                                    const std::wstring& working_folder) {
  return Launch(command_line, working_folder, nullptr, nullptr);
}

bool ChildProcess::Launch(std::wstring command_line, const std::wstring& working_folder,
                          base::win::NativeHandle input, base::win::NativeHandle output) {
  const bool capture = output != nullptr;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (capture) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors_.Get();
  }
  PROCESS_INFORMATION created = {};
  DWORD error = ERROR_SUCCESS;
  // Wine 8 now and then fails a start with ERROR_INTERNAL_ERROR when many processes start at
  // once; the same start a moment later succeeds.
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    if (CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, capture ? TRUE : FALSE, 0,
                       nullptr, working_folder.empty() ? nullptr : working_folder.c_str(),
                       &startup, &created)) {
      error = ERROR_SUCCESS;
      break;
    }
    error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR)
      break;
    Sleep(kStartRetryPauseMs);
  }
  if (error != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot start a child process, error " << error;
    return false;
  }
  base::win::ScopedHandle thread(created.hThread);
  process_.Set(created.hProcess);
  pid_ = created.dwProcessId;
  return true;
}

bool ChildProcess::WaitForExit(unsigned long timeout_ms, unsigned long* exit_code) {
  if (!process_.IsValid())
    return false;
  if (WaitForSingleObject(process_.Get(), timeout_ms) != WAIT_OBJECT_0) {
    Terminate();
    return false;
  }
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

bool RunToExit(const std::wstring& command_line, const std::wstring& working_folder,
               unsigned long timeout_ms, unsigned long* exit_code) {
  ChildProcess child;
  return child.StartCommandLine(command_line, working_folder) &&
         child.WaitForExit(timeout_ms, exit_code);
}

}  // namespace test
