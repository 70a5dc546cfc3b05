// Overlapped pipe IO with a deadline on every operation.
#include "support/raw_pipe.h"

#include <windows.h>

#include "support/thread_runner.h"

namespace test {

RawPipe::RawPipe(unsigned long timeout_ms)
    : timeout_ms_(timeout_ms),
      event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      overlapped_(new OVERLAPPED()) {
  overlapped_->hEvent = event_.Get();
}

RawPipe::RawPipe() : RawPipe(kDeadlineMs) {}

RawPipe::~RawPipe() {}

bool RawPipe::Listen(const std::wstring& path) {
  pipe_.Set(CreateNamedPipeW(path.c_str(),
                             PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                                 FILE_FLAG_FIRST_PIPE_INSTANCE,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, kBufferSize,
                             kBufferSize, 5000, nullptr));
  return pipe_.IsValid();
}

bool RawPipe::AcceptClient() {
  BOOL connected = ConnectNamedPipe(pipe_.Get(), overlapped_.get());
  DWORD error = connected ? ERROR_SUCCESS : GetLastError();
  if (error == ERROR_PIPE_CONNECTED)
    return true;
  DWORD unused = 0;
  return Complete(connected || error == ERROR_IO_PENDING, &unused);
}

bool RawPipe::Open(const std::wstring& path) {
  pipe_.Set(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr));
  return pipe_.IsValid();
}

bool RawPipe::CompleteThroughPort() {
  port_.Set(CreateIoCompletionPort(pipe_.Get(), nullptr, 0, 1));
  if (!port_.IsValid())
    return false;
  // Completions go to the port alone.
  overlapped_->hEvent = nullptr;
  return true;
}

bool RawPipe::Write(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    DWORD written = 0;
    BOOL started = WriteFile(pipe_.Get(), bytes + done, static_cast<DWORD>(size - done),
                             nullptr, overlapped_.get());
    if (!Complete(started || GetLastError() == ERROR_IO_PENDING, &written) || written == 0)
      return false;
    done += written;
  }
  return true;
}

bool RawPipe::Write(const std::vector<unsigned char>& bytes) {
  return Write(bytes.data(), bytes.size());
}

bool RawPipe::Read(void* data, size_t size) {
  char* bytes = static_cast<char*>(data);
  for (size_t done = 0; done < size;) {
    DWORD read = ReadSome(bytes + done, size - done);
    if (read == 0)
      return false;
    done += read;
  }
  return true;
}

bool RawPipe::Read(size_t size, std::vector<unsigned char>* bytes) {
  bytes->assign(size, 0);
  return Read(bytes->data(), size);
}

unsigned long RawPipe::ReadSome(void* data, size_t capacity) {
  DWORD read = 0;
  BOOL started =
      ReadFile(pipe_.Get(), data, static_cast<DWORD>(capacity), nullptr, overlapped_.get());
  if (!Complete(started || GetLastError() == ERROR_IO_PENDING, &read))
    return 0;
  return read;
}

void RawPipe::Close() {
  pipe_.Close();
}

bool RawPipe::Complete(bool started, unsigned long* transferred) {
  if (!started)
    return false;
  if (AwaitCompletion(transferred))
    return true;
  CancelIo(pipe_.Get());
  GetOverlappedResult(pipe_.Get(), overlapped_.get(), transferred, TRUE);
  return false;
}

bool RawPipe::AwaitCompletion(unsigned long* transferred) {
  if (port_.IsValid()) {
    ULONG_PTR key = 0;
    OVERLAPPED* done = nullptr;
    return GetQueuedCompletionStatus(port_.Get(), transferred, &key, &done, timeout_ms_) != 0;
  }
  if (WaitForSingleObject(event_.Get(), timeout_ms_) != WAIT_OBJECT_0)
    return false;
  return GetOverlappedResult(pipe_.Get(), overlapped_.get(), transferred, FALSE) != 0;
}

}  // namespace test
