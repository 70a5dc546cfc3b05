// The Windows implementation of a channel: overlapped IO on a byte-mode named pipe whose
// completions arrive through the IO thread's message pump. Implementation detail of Channel.
#ifndef IPC_IPC_CHANNEL_WIN_H_
#define IPC_IPC_CHANNEL_WIN_H_

#include <cstdint>
#include <queue>
#include <string>

#include "base/memory/weak_ptr.h"
#include "base/message_loop_win.h"
#include "base/win/scoped_handle.h"
#include "ipc/internal/ipc_channel_reader.h"
#include "ipc/ipc_channel.h"

namespace IPC {

// Reads and writes with at most one overlapped operation in flight per direction. The pipe
// is opened by the constructor on the creating thread; from Connect on, every call is made on
// the IO thread that connected it, and the pump of that thread calls OnIOCompleted. There
// are no locks.
class Channel::ChannelImpl : public internal::ChannelReader,
                             public base::MessagePumpForIO::IOHandler {
 public:
  ChannelImpl(ChannelHandle channel_handle, Mode mode, Listener* listener);
  ~ChannelImpl() override;

  bool Connect();
  void Close();
  void CloseAfterWriting(base::TimeTicks deadline, const ClosedCallback& closed);
  bool Send(Message* message);
  int32_t peer_pid() const { return peer_pid_; }
  bool pipe_opened() const { return pipe_.IsValid(); }

  // The pipe path both ends derive from |channel_id|, and the secret after its backslash
  // (0 when there is none).
  static std::wstring PipeNameFor(const std::string& channel_id, int32_t* secret);

 private:
  typedef base::MessagePumpForIO::IOContext IOContext;

  // One direction of IO: its overlapped context and whether an operation is in flight.
  struct IoState {
    explicit IoState(ChannelImpl* channel);
    IOContext context;
    bool pending;
  };

  // internal::ChannelReader:
  ReadResult ReadFromPipe(char* buffer, size_t length, size_t* bytes_read) override;
  bool AcceptsInput(const Message* message) override;
  bool OnInputDrained() override;
  void OnHelloReceived(const Message& message) override;

  // base::MessagePumpForIO::IOHandler:
  void OnIOCompleted(IOContext* context, DWORD bytes_transferred, DWORD error) override;

  // Opens the pipe of |channel_handle| and queues the hello; the pipe stays invalid on
  // failure.
  void Open(ChannelHandle channel_handle, Mode mode);
  bool CreatePipe(const std::wstring& pipe_name, Mode mode);
  void QueueHello();

  // Waits for the client (server only); false when it cannot be waited for.
  bool AcceptClient();

  // Handles an input completion, or the start-reading signal when nothing was pending.
  bool OnInputCompleted(DWORD bytes_read);

  // Finishes the write in flight, which ended with |error| when nothing was written, and
  // starts the next one.
  bool OnWriteCompleted(DWORD bytes_written, DWORD error);

  // Starts writing the front message of the queue, if any and none is in flight.
  bool WriteNext();

  // Handles a write that failed with |error|; false when the channel fails with it.
  bool OnWriteFailed(DWORD error);

  // A completion while closing after writing: only the writes matter now.
  void OnCompletedWhileClosing(IOContext* context, DWORD bytes_transferred);

  // Ends the close after writing: |timed_out| when the deadline cut it short.
  void FinishClosing(bool timed_out);

  // Whether a message of the owner is still queued; a server's hello, which waits for the
  // client, is not the owner's.
  bool HoldsUnwrittenMessages() const;

  void PushOutput(Message* message);
  void PopOutput();

  // A server's client is on the pipe: tells the listener once.
  void OnClientArrived();

  IoState input_state_;
  IoState output_state_;
  base::win::ScopedFileHandle pipe_;
  int32_t peer_pid_;                 // claimed by the peer's hello; 0 until then
  std::queue<Message*> output_queue_;  // owned; the front one is being written
  size_t queued_bytes_;              // of the messages in |output_queue_|
  bool waiting_connect_;             // a server whose client has not connected yet
  bool validate_client_;             // a server whose id carries a secret, until a valid hello
  int32_t client_secret_;
  bool closing_after_writing_;       // between CloseAfterWriting and the close
  bool peer_closed_;                 // a write found the peer's end closed: nothing is written
  ClosedCallback closed_callback_;   // run once the close after writing is done
  base::WeakPtrFactory<ChannelImpl> weak_factory_;

  ChannelImpl(const ChannelImpl&) = delete;
  ChannelImpl& operator=(const ChannelImpl&) = delete;
};

}  // namespace IPC

#endif  // IPC_IPC_CHANNEL_WIN_H_
