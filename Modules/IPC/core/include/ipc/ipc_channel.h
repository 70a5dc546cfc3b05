// One end of a duplex message connection between two processes over a byte-mode named pipe.
#ifndef IPC_IPC_CHANNEL_H_
#define IPC_IPC_CHANNEL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/callback.h"
#include "base/memory/scoped_ptr.h"
#include "base/time.h"
#include "ipc/ipc_channel_handle.h"
#include "ipc/ipc_message.h"

namespace IPC {

// A server end creates the pipe and serves exactly one client; a client end opens a pipe that
// must already exist. The constructor opens the pipe on the constructing thread; Connect and
// everything after it (Send, Close, every Listener call) run on one thread whose loop is a
// MessageLoopForIO, which delivers the channel's overlapped completions. The channel owns
// every message handed to Send. Deleting the channel closes it.
class Channel : public Message::Sender {
 public:
  // Tested as bit flags.
  enum Mode {
    kModeServer = 1,  // create the pipe and wait for a client
    kModeClient = 2,  // open an existing pipe
  };

  // Supplied by the owner; every call comes on the channel's IO thread from inside its
  // completion handling.
  class Listener {
   public:
    virtual ~Listener() {}

    // |message| views the channel's read buffer and is valid only during the call; a
    // listener that keeps it copies it. The result is ignored.
    virtual bool OnMessageReceived(const Message& message) = 0;

    // The peer's hello arrived, claiming process id |peer_pid| (-1 when it carried none).
    virtual void OnChannelConnected(int32_t /*peer_pid*/) {}

    // The connection failed or the peer went away; the channel reports nothing after this.
    virtual void OnChannelError() {}

    // A server's client opened the pipe; its hello may not have come yet.
    virtual void OnChannelAccepted() {}
  };

  // Size of each read and of both pipe buffers.
  static const size_t kReadBufferSize = 4096;

  // The most bytes an incomplete message plus newly read bytes may reach.
  static const size_t kMaximumMessageSize = 128 * 1024 * 1024;

  // The most bytes of messages a channel holds behind the one it is writing (which may be
  // of any size up to kMaximumMessageSize). A peer that lets more pile up
  // reads nothing (frozen, suspended, hung): the channel closes and reports OnChannelError
  // rather than let the process run out of memory. Far above what a peer that reads at all
  // ever leaves waiting.
  static const size_t kMaximumQueuedBytes = 64 * 1024 * 1024;

  // Opens the pipe at once. It never fails outwardly: a pipe that cannot be opened makes
  // Connect return false.
  Channel(ChannelHandle channel_handle, Mode mode, Listener* listener);
  ~Channel() override;

  // Whether the constructor opened the pipe; asked before Connect, on the constructing
  // thread.
  bool pipe_opened() const;

  // Registers the pipe with the current thread's IO loop and starts the connection.
  // Called once; false when the pipe is not open.
  bool Connect();

  // Cancels and drains the channel's IO, closes the pipe and deletes queued messages.
  void Close();

  // Told whether everything queued was written when the channel closed after writing; a
  // message for a peer that went away counts as written, since nobody waits for it.
  typedef base::Callback<void(bool written)> ClosedCallback;

  // Closes once every queued message is written, the peer is gone or |deadline| passes,
  // whichever comes first; a write still in flight then is cancelled. The listener hears
  // nothing more, and what the peer sends meanwhile is dropped. |closed| is posted to the
  // IO thread's loop once the pipe is closed, unless the channel is closed or deleted
  // before; it may delete the channel. A server still waiting for its client closes at once.
  void CloseAfterWriting(base::TimeTicks deadline, const ClosedCallback& closed);

  // Takes ownership of |message| and queues it; writing starts unless a write is in flight
  // or a server still waits for its client. False only when an immediate write attempt
  // failed other than on the peer's close; the message then stays queued. Once a write finds
  // the peer's end closed, queued and later messages are dropped, while what the peer wrote
  // before it closed is still read and dispatched; the read that finds the pipe empty reports
  // OnChannelError. A message that would take the queue past
  // kMaximumQueuedBytes closes the channel and reports OnChannelError instead; a closed
  // channel drops what it is sent, as it has reported already.
  bool Send(Message* message) override;

  // The process id claimed by the peer's hello; 0 until it arrived.
  int32_t peer_pid() const;

  // "<pid>.<counter>.<random>", unique across the processes of the machine.
  static std::string GenerateUniqueRandomChannelID();

  // |prefix| + "." (when not empty) + a unique random id + "\<secret>", a non-zero random
  // secret that a client must present in its hello to a server of that id.
  static std::string GenerateVerifiedChannelID(const std::string& prefix);

  // The pipe path both ends of |channel_id| use: "\\.\pipe\vesk." and the id, without
  // the secret of a verified id (nor the character before its backslash).
  static std::wstring PipePath(const std::string& channel_id);

  // Whether a server pipe for |channel_id| exists (waits at most 1 ms for it).
  static bool IsNamedServerInitialized(const std::string& channel_id);

  // How the server of |channel_id| looks to a client that waits at most |timeout_ms| (at
  // least 1) for a free pipe instance: nobody serves the name, its instance stayed busy
  // with another client, or an instance is free now.
  enum ServerState { SERVER_ABSENT, SERVER_BUSY, SERVER_AVAILABLE };
  static ServerState WaitForNamedServer(const std::string& channel_id, int timeout_ms);

  class ChannelImpl;

 private:
  scoped_ptr<ChannelImpl> channel_impl_;

  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;
};

}  // namespace IPC

#endif  // IPC_IPC_CHANNEL_H_
