// One end of an overlapped byte-mode named pipe driven directly, as a foreign or misbehaving
// peer, a pump test or a benchmark baseline drives it. Every operation waits at most the
// pipe's timeout.
#ifndef SUPPORT_RAW_PIPE_H_
#define SUPPORT_RAW_PIPE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"

struct _OVERLAPPED;

namespace test {

class RawPipe {
 public:
  // The buffer size of the pipes the channel layer creates.
  static const unsigned long kBufferSize = 4096;

  explicit RawPipe(unsigned long timeout_ms);
  RawPipe();
  ~RawPipe();

  // Creates the first and only instance of the server end |path|, with the channel layer's
  // settings.
  bool Listen(const std::wstring& path);
  // Waits for a client of a listening end.
  bool AcceptClient();
  // Opens |path| as the client end.
  bool Open(const std::wstring& path);

  // Operations complete through a completion port of the pipe's own from now on, as the
  // channel layer's do, instead of through an event.
  bool CompleteThroughPort();

  // Exactly |size| bytes, in as many operations as it takes.
  bool Write(const void* data, size_t size);
  bool Write(const std::vector<unsigned char>& bytes);
  bool Read(void* data, size_t size);
  bool Read(size_t size, std::vector<unsigned char>* bytes);
  // One read of at most |capacity| bytes; the count read, 0 on failure or end of pipe.
  unsigned long ReadSome(void* data, size_t capacity);

  void Close();
  base::win::NativeHandle handle() const { return pipe_.Get(); }

 private:
  // Finishes the operation just started, whether it completed at once or is pending; false
  // when it failed or outlived the timeout, in which case it is cancelled.
  bool Complete(bool started, unsigned long* transferred);
  bool AwaitCompletion(unsigned long* transferred);

  unsigned long timeout_ms_;
  base::win::ScopedFileHandle pipe_;
  base::win::ScopedHandle event_;
  base::win::ScopedHandle port_;  // valid once CompleteThroughPort succeeded
  std::unique_ptr<_OVERLAPPED> overlapped_;

  RawPipe(const RawPipe&) = delete;
  RawPipe& operator=(const RawPipe&) = delete;
};

}  // namespace test

#endif  // SUPPORT_RAW_PIPE_H_
