// Message framing of the channel's byte stream.
#include "ipc/internal/ipc_channel_reader.h"

#include <cstring>

#include "base/logging.h"

namespace IPC {
namespace internal {

ChannelReader::ChannelReader(Channel::Listener* listener, size_t maximum_message_size)
    : listener_(listener), maximum_message_size_(maximum_message_size) {
  memset(read_buffer_, 0, sizeof(read_buffer_));
}

ChannelReader::~ChannelReader() {}

bool ChannelReader::ReadIncoming() {
  for (;;) {
    size_t bytes_read = 0;
    ReadResult result = ReadFromPipe(read_buffer_, sizeof(read_buffer_), &bytes_read);
    if (result == kReadFailed)
      return false;
    if (result == kReadPending)
      return true;
    // A completed read of nothing means the peer has gone.
    if (bytes_read == 0 || !DispatchReadBuffer(bytes_read))
      return false;
  }
}

bool ChannelReader::DispatchReadBuffer(size_t bytes_read) {
  DCHECK_LE(bytes_read, sizeof(read_buffer_));
  return DispatchInput(read_buffer_, bytes_read);
}

bool ChannelReader::DispatchInput(const char* data, size_t length) {
  // Complete messages are framed in place; only an incomplete one is copied, so most reads
  // are dispatched straight from the read buffer.
  bool in_overflow = !overflow_.empty();
  if (in_overflow) {
    if (length > maximum_message_size_ || overflow_.size() > maximum_message_size_ - length) {
      overflow_.clear();
      LOG(ERROR) << "IPC message is too big";
      return false;
    }
    overflow_.append(data, length);
    data = overflow_.data();
    length = overflow_.size();
  }

  const char* p = data;
  const char* end = data + length;
  while (p < end) {
    const char* message_tail = Message::FindNext(p, end);
    if (!message_tail)
      break;
    Message message(p, static_cast<int>(message_tail - p));
    if (!AcceptsInput(&message))
      return false;
    if (message.is_hello())
      OnHelloReceived(message);
    else
      listener_->OnMessageReceived(message);
    p = message_tail;
  }

  size_t consumed = static_cast<size_t>(p - data);
  if (in_overflow)
    overflow_.erase(0, consumed);
  else
    overflow_.assign(p, length - consumed);

  if (overflow_.empty() && !OnInputDrained())
    return false;
  return true;
}

}  // namespace internal
}  // namespace IPC
