// The address of a channel: the name both ends derive the pipe path from, or a pipe that is
// already open.
#ifndef IPC_IPC_CHANNEL_HANDLE_H_
#define IPC_IPC_CHANNEL_HANDLE_H_

#include <string>

#include "base/win/scoped_handle.h"

namespace IPC {

// A plain value, copied freely. Channels of this system are always opened by name and carry
// a null pipe; a non-null pipe is a connected pipe end that the channel adopts and closes.
struct ChannelHandle {
  // The raw handle of a pipe end that is already connected; null when there is none.
  struct PipeHandle {
    PipeHandle() : handle(nullptr) {}
    explicit PipeHandle(base::win::NativeHandle h) : handle(h) {}
    base::win::NativeHandle handle;
  };

  ChannelHandle() {}
  ChannelHandle(const std::string& n) : name(n) {}
  ChannelHandle(const char* n) : name(n) {}
  explicit ChannelHandle(base::win::NativeHandle h) : pipe(h) {}

  std::string name;
  PipeHandle pipe;
};

}  // namespace IPC

#endif  // IPC_IPC_CHANNEL_HANDLE_H_
