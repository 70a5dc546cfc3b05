// The sync message filter: sends from any thread, replies caught on the IPC thread.
#include "ipc/ipc_sync_message_filter.h"

#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "ipc/ipc_channel.h"

namespace IPC {

SyncMessageFilter::SyncMessageFilter(base::WaitableEvent* shutdown_event)
    : channel_(nullptr), shutdown_event_(shutdown_event) {}

SyncMessageFilter::~SyncMessageFilter() {}

bool SyncMessageFilter::Send(Message* message) {
  return SendAndWait(message, nullptr);
}

bool SyncMessageFilter::SendWithTimeout(Message* message, const base::TimeDelta& timeout) {
  return SendAndWait(message, &timeout);
}

bool SyncMessageFilter::SendAndWait(Message* message, const base::TimeDelta* timeout) {
  scoped_ptr<Message> owned(message);
  scoped_refptr<base::MessageLoopProxy> io_loop;
  {
    base::AutoLock lock(lock_);
    io_loop = io_loop_;
  }
  // Not adopted by the IPC thread yet.
  if (!io_loop)
    return false;

  if (!message->is_sync())
    return PostSend(io_loop.get(), std::move(owned));

  // The IPC thread would wait for a reply that only it can deliver.
  if (io_loop->BelongsToCurrentThread()) {
    LOG(ERROR) << "a synchronous send through a filter from its own IPC thread";
    return false;
  }
  SyncMessage* sync_msg = SyncMessage::FromSyncRequest(message);
  if (!sync_msg)
    return false;

  base::WaitableEvent done_event(true, false);
  PendingSend pending(SyncMessage::GetMessageId(*sync_msg), sync_msg->GetReplyDeserializer(),
                      &done_event);
  {
    base::AutoLock lock(lock_);
    pending_sync_messages_.insert(&pending);
  }

  // A post that fails (the IPC thread is gone) destroys the message unsent: nothing to wait
  // for then.
  if (PostSend(io_loop.get(), std::move(owned)))
    WaitForReply(&done_event, timeout);

  base::AutoLock lock(lock_);
  delete pending.deserializer;
  pending_sync_messages_.erase(&pending);
  return pending.send_result;
}

void SyncMessageFilter::WaitForReply(base::WaitableEvent* done_event,
                                     const base::TimeDelta* timeout) {
  base::WaitableEvent* events[] = {done_event, shutdown_event_};
  const size_t count = shutdown_event_ ? 2 : 1;
  if (timeout)
    base::WaitableEvent::TimedWaitMany(events, count, *timeout);
  else
    base::WaitableEvent::WaitMany(events, count);
}

void SyncMessageFilter::OnFilterAdded(Channel* channel) {
  channel_ = channel;
  base::AutoLock lock(lock_);
  io_loop_ = base::MessageLoopProxy::current();
}

void SyncMessageFilter::OnFilterRemoved() {
  LeaveChannel();
}

void SyncMessageFilter::OnChannelError() {
  LeaveChannel();
}

void SyncMessageFilter::OnChannelClosing() {
  LeaveChannel();
}

void SyncMessageFilter::LeaveChannel() {
  channel_ = nullptr;
  // No reply can reach the blocked senders any more.
  SignalAllEvents();
}

bool SyncMessageFilter::OnMessageReceived(const Message& message) {
  if (!message.is_reply())
    return false;
  base::AutoLock lock(lock_);
  for (PendingSend* pending : pending_sync_messages_) {
    if (SyncMessage::IsMessageReplyTo(message, pending->id)) {
      pending->TakeReply(message);
      return true;
    }
  }
  // Someone else's reply, or one that came after its sender gave up.
  return false;
}

bool SyncMessageFilter::PostSend(base::MessageLoopProxy* io_loop, scoped_ptr<Message> message) {
  return io_loop->PostTask(FROM_HERE_WITH_FUNCTION("IPC::SyncMessageFilter::Send"),
                           base::Bind(&SyncMessageFilter::SendOnIOThread, this,
                                      base::Passed(std::move(message))));
}

void SyncMessageFilter::SendOnIOThread(scoped_ptr<Message> message) {
  if (channel_) {
    channel_->Send(message.release());
    return;
  }
  // The channel is gone: a synchronous sender would wait for nothing.
  if (message->is_sync())
    SignalAllEvents();
}

void SyncMessageFilter::SignalAllEvents() {
  base::AutoLock lock(lock_);
  for (PendingSend* pending : pending_sync_messages_)
    pending->done_event->Signal();
}

}  // namespace IPC
