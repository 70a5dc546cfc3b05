// Frames the byte stream of a channel into messages and hands them to the listener.
// Implementation detail of the pipe channel.
#ifndef IPC_IPC_CHANNEL_READER_H_
#define IPC_IPC_CHANNEL_READER_H_

#include <string>

#include "ipc/ipc_channel.h"

namespace IPC {
namespace internal {

// The platform-independent half of a channel: it owns the read buffer, frames complete
// messages in place and keeps the bytes of an incomplete one in |overflow_|. The subclass
// does the reading and decides which messages are accepted. Used on the channel's IO thread.
class ChannelReader {
 public:
  // An incomplete message plus newly read bytes may reach |maximum_message_size| bytes.
  explicit ChannelReader(Channel::Listener* listener,
                         size_t maximum_message_size = Channel::kMaximumMessageSize);
  virtual ~ChannelReader();

  Channel::Listener* listener() const { return listener_; }

  // Reads until a read is pending; false when reading or dispatching failed.
  bool ReadIncoming();

  // Dispatches |bytes_read| bytes that an overlapped read left in the read buffer.
  bool DispatchReadBuffer(size_t bytes_read);

 protected:
  enum ReadResult {
    kReadDone = 0,     // |*bytes_read| bytes are in the buffer
    kReadFailed = 1,   // the pipe failed
    kReadPending = 2,  // the bytes arrive with a completion later
  };

  // Starts a read of at most |length| bytes into |buffer|.
  virtual ReadResult ReadFromPipe(char* buffer, size_t length, size_t* bytes_read) = 0;

  // Whether a complete |message| may be dispatched; a refusal fails the channel.
  virtual bool AcceptsInput(const Message* message) = 0;

  // Called whenever no incomplete message is left; false fails the channel.
  virtual bool OnInputDrained() = 0;

  // Handles the peer's hello instead of the listener.
  virtual void OnHelloReceived(const Message& message) = 0;

  char* read_buffer() { return read_buffer_; }

 private:
  // Frames and dispatches |length| new bytes after any buffered incomplete message.
  bool DispatchInput(const char* data, size_t length);

  Channel::Listener* listener_;
  const size_t maximum_message_size_;
  char read_buffer_[Channel::kReadBufferSize];
  std::string overflow_;  // the bytes of an incomplete message

  ChannelReader(const ChannelReader&) = delete;
  ChannelReader& operator=(const ChannelReader&) = delete;
};

}  // namespace internal
}  // namespace IPC

#endif  // IPC_IPC_CHANNEL_READER_H_
