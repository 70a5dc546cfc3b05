// Sending on a channel, synchronous requests included, from threads other than its listener
// thread and IPC thread.
#ifndef IPC_IPC_SYNC_MESSAGE_FILTER_H_
#define IPC_IPC_SYNC_MESSAGE_FILTER_H_

#include <set>

#include "base/memory/ref_counted.h"
#include "base/memory/scoped_ptr.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/lock.h"
#include "ipc/internal/ipc_pending_send.h"
#include "ipc/ipc_channel_proxy.h"
#include "ipc/ipc_message.h"
#include "ipc/ipc_sync_message.h"

namespace base {
class TimeDelta;
class WaitableEvent;
}

namespace IPC {

// Added to a channel proxy with AddFilter; usable once the IPC thread has adopted it. Send may
// be called from any number of threads at once, but not from the channel's listener thread
// or its IPC thread, which must stay free to deliver the replies. A synchronous Send blocks
// its thread until its own reply has been read (the filter catches the replies to its
// requests before anything else sees them), the channel fails or closes, or the shutdown
// event is signalled. The filter side runs on the IPC thread.
class SyncMessageFilter : public ChannelProxy::MessageFilter, public Message::Sender {
 public:
  // |shutdown_event| (not owned, may be null) releases every blocked send once signalled.
  explicit SyncMessageFilter(base::WaitableEvent* shutdown_event);

  // False, with |message| deleted, before the filter is adopted. An asynchronous message is
  // then queued for the IPC thread (true, unless that thread is gone); a synchronous one
  // answers whether its reply came and its outputs read.
  bool Send(Message* message) override;

  // Send that gives up waiting for a synchronous reply after |timeout| (false then); a reply
  // that comes later is dropped.
  bool SendWithTimeout(Message* message, const base::TimeDelta& timeout);

  // ChannelProxy::MessageFilter, on the IPC thread:
  void OnFilterAdded(Channel* channel) override;
  // The channel may be deleted once the filter is out of its list: the filter lets go of it.
  void OnFilterRemoved() override;
  void OnChannelError() override;
  void OnChannelClosing() override;
  bool OnMessageReceived(const Message& message) override;

 protected:
  ~SyncMessageFilter() override;

 private:
  // Hands |message| to the IPC thread; false, with the message gone, when that thread is.
  bool PostSend(base::MessageLoopProxy* io_loop, scoped_ptr<Message> message);
  // Waits for |done_event| or the shutdown event, at most |timeout| unless it is null.
  void WaitForReply(base::WaitableEvent* done_event, const base::TimeDelta* timeout);
  bool SendAndWait(Message* message, const base::TimeDelta* timeout);
  void SendOnIOThread(scoped_ptr<Message> message);

  // Forgets the channel and releases every blocked send.
  void LeaveChannel();

  // Releases every blocked send; their results stay false.
  void SignalAllEvents();

  Channel* channel_;  // IPC thread only; null unless joined to a live channel
  scoped_refptr<base::MessageLoopProxy> io_loop_;  // guarded by lock_
  // The sends in progress, each on its sender's stack.
  std::set<PendingSend*> pending_sync_messages_;  // guarded by lock_
  base::Lock lock_;
  base::WaitableEvent* shutdown_event_;  // not owned
};

}  // namespace IPC

#endif  // IPC_IPC_SYNC_MESSAGE_FILTER_H_
