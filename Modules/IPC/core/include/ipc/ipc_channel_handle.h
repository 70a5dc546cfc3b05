// The address of a channel: the name both ends derive the pipe path from, or a pipe that is
// already open.
#ifndef IPC_IPC_CHANNEL_HANDLE_H_
#define IPC_IPC_CHANNEL_HANDLE_H_

#include <string>
#include <utility>

#include "base/win/scoped_handle.h"

namespace IPC {

// Channels of this system are always opened by name and carry no pipe; a pipe is a
// connected pipe end that the channel adopts. Move-only, so that the pipe end has one owner
// and is closed even when no channel adopts it.
struct ChannelHandle {
  ChannelHandle() {}
  ChannelHandle(const std::string& n) : name(n) {}
  ChannelHandle(const char* n) : name(n) {}
  explicit ChannelHandle(base::win::ScopedFileHandle p) : pipe(std::move(p)) {}
  ChannelHandle(ChannelHandle&&) = default;
  ChannelHandle& operator=(ChannelHandle&&) = default;

  std::string name;
  base::win::ScopedFileHandle pipe;  // invalid when there is none
};

}  // namespace IPC

#endif  // IPC_IPC_CHANNEL_HANDLE_H_
