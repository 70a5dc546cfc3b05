// The sync channel: blocking sends on the listener thread, reply matching on the IPC thread
// and the per-thread queue of requests dispatched while blocked.
#include "ipc/ipc_sync_channel.h"

#include <iterator>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/time.h"

namespace IPC {

namespace {

// The events a blocked send waits on, by WaitMany index, the send's done event between these
// two: a lower index wins when several are signalled, so queued requests are served first
// and a send that is done does not start pumping.
const size_t kDispatchEventIndex = 0;
const size_t kPumpMessagesEventIndex = 2;

}  // namespace

//------------------------------------------------------------------------------
// SyncChannel::ReceivedSyncMsgQueue

base::LazyInstance<base::ThreadLocalPointer<SyncChannel::ReceivedSyncMsgQueue>>::Leaky
    SyncChannel::ReceivedSyncMsgQueue::lazy_tls_ptr_ = LAZY_INSTANCE_INITIALIZER;

SyncChannel::ReceivedSyncMsgQueue::QueuedEntry::QueuedEntry(const Message& m, SyncContext* c)
    : message(new Message(m)), context(c) {}

SyncChannel::ReceivedSyncMsgQueue::ReceivedSyncMsgQueue()
    : dispatch_event_(true, false),
      listener_loop_(base::MessageLoopProxy::current()),
      task_pending_(false),
      listener_count_(0),
      top_send_done_watcher_(nullptr) {}

SyncChannel::ReceivedSyncMsgQueue::~ReceivedSyncMsgQueue() {}

scoped_refptr<SyncChannel::ReceivedSyncMsgQueue>
SyncChannel::ReceivedSyncMsgQueue::AttachContext() {
  base::ThreadLocalPointer<ReceivedSyncMsgQueue>& slot = lazy_tls_ptr_.Get();
  if (!slot.Get())
    slot.Set(new ReceivedSyncMsgQueue);
  // The reference is taken before the count changes, so a new queue never sits at zero.
  scoped_refptr<ReceivedSyncMsgQueue> queue(slot.Get());
  ++queue->listener_count_;
  return queue;
}

void SyncChannel::ReceivedSyncMsgQueue::TakeEntriesOf(SyncContext* context,
                                                       EntryList* entries,
                                                       EntryList* removed) {
  for (EntryList::iterator it = entries->begin(); it != entries->end();) {
    EntryList::iterator next = std::next(it);
    if (it->context.get() == context)
      removed->splice(removed->end(), *entries, it);
    it = next;
  }
}

// Removed entries die outside the lock, since each holds a context, which holds this queue.
void SyncChannel::ReceivedSyncMsgQueue::DetachContext(SyncContext* context) {
  EntryList removed;
  {
    base::AutoLock lock(queue_lock_);
    TakeEntriesOf(context, &message_queue_, &removed);
  }
  if (--listener_count_ == 0)
    lazy_tls_ptr_.Get().Set(nullptr);
}

void SyncChannel::ReceivedSyncMsgQueue::QueueMessage(const Message& msg, SyncContext* context) {
  bool was_task_pending;
  {
    base::AutoLock lock(queue_lock_);
    was_task_pending = task_pending_;
    task_pending_ = true;
    message_queue_.emplace_back(msg, context);
  }
  // The event wakes a listener blocked in a send; the task serves one that is not blocked.
  dispatch_event_.Signal();
  if (!was_task_pending) {
    listener_loop_->PostTask(
        FROM_HERE_WITH_FUNCTION("IPC::SyncChannel::ReceivedSyncMsgQueue::QueueMessage"),
        base::Bind(&ReceivedSyncMsgQueue::DispatchQueuedTask, this));
  }
}

void SyncChannel::ReceivedSyncMsgQueue::MatchOrHoldReply(const Message& msg,
                                                         SyncContext* context) {
  base::AutoLock lock(queue_lock_);
  if (context->MatchReply(&msg))
    return;
  // Ids are never reused and a send is pending before its request leaves, so a reply whose
  // send is gone now can never match.
  if (context->AwaitsReply(SyncMessage::GetMessageId(msg)))
    held_replies_.emplace_back(msg, context);
}

bool SyncChannel::ReceivedSyncMsgQueue::HasHeldReplies() {
  base::AutoLock lock(queue_lock_);
  return !held_replies_.empty();
}

void SyncChannel::ReceivedSyncMsgQueue::RetryHeldReplies() {
  EntryList done;
  {
    base::AutoLock lock(queue_lock_);
    for (EntryList::iterator it = held_replies_.begin(); it != held_replies_.end();) {
      EntryList::iterator next = std::next(it);
      if (it->context->MatchReply(it->message.get())) {
        done.splice(done.end(), held_replies_, it);
        break;
      }
      // Its send gave up (timeout, abort) after the reply was held.
      if (!it->context->AwaitsReply(SyncMessage::GetMessageId(*it->message)))
        done.splice(done.end(), held_replies_, it);
      it = next;
    }
  }
}

void SyncChannel::ReceivedSyncMsgQueue::DropHeldReplies(SyncContext* context) {
  EntryList removed;
  {
    base::AutoLock lock(queue_lock_);
    TakeEntriesOf(context, &held_replies_, &removed);
  }
}

void SyncChannel::ReceivedSyncMsgQueue::DispatchQueuedTask() {
  {
    base::AutoLock lock(queue_lock_);
    task_pending_ = false;
  }
  DispatchQueued();
}

void SyncChannel::ReceivedSyncMsgQueue::DispatchQueued() {
  while (true) {
    EntryList taken;
    {
      base::AutoLock lock(queue_lock_);
      if (message_queue_.empty())
        return;
      taken.splice(taken.end(), message_queue_, message_queue_.begin());
    }
    // Delivered outside the lock: the listener may send (and dispatch, nested) at once.
    QueuedEntry& entry = taken.front();
    entry.context->DeliverMessage(*entry.message);
  }
}

//------------------------------------------------------------------------------
// SyncChannel::SyncContext

SyncChannel::SyncContext::SyncContext(Channel::Listener* listener,
                                      base::MessageLoopProxy* ipc_thread,
                                      base::WaitableEvent* shutdown_event)
    : ChannelProxy::Context(listener, ipc_thread),
      sync_queue_(ReceivedSyncMsgQueue::AttachContext()),
      shutdown_event_(shutdown_event),
      detached_(false) {}

SyncChannel::SyncContext::~SyncContext() {
  while (!pending_sends_.empty())
    Pop();
}

void SyncChannel::SyncContext::PushPendingSend(SyncMessage* sync_msg) {
  PendingSend pending(SyncMessage::GetMessageId(*sync_msg), sync_msg->GetReplyDeserializer(),
                      NewDoneEvent());
  base::AutoLock lock(pending_lock_);
  pending_sends_.push_back(pending);
}

base::WaitableEvent* SyncChannel::SyncContext::NewDoneEvent() {
  if (spare_done_events_.empty())
    return new base::WaitableEvent(true, false);
  base::WaitableEvent* event = spare_done_events_.back().release();
  spare_done_events_.pop_back();
  event->Reset();
  return event;
}

bool SyncChannel::SyncContext::Pop() {
  bool result;
  base::WaitableEvent* done_event;
  {
    base::AutoLock lock(pending_lock_);
    PendingSend& innermost = pending_sends_.back();
    delete innermost.deserializer;
    done_event = innermost.done_event;
    result = innermost.send_result;
    pending_sends_.pop_back();
  }
  // Nothing signals the event once its send is off the list; the next send reuses it.
  spare_done_events_.emplace_back(done_event);
  // A reply held for the send below may match now. Checked after the removal: a reply
  // that is not held yet will find that send on top.
  if (sync_queue_->HasHeldReplies()) {
    ipc_loop()->PostTask(FROM_HERE_WITH_FUNCTION("IPC::SyncChannel::SyncContext::Pop"),
                         base::Bind(&ReceivedSyncMsgQueue::RetryHeldReplies, sync_queue_.get()));
  }
  return result;
}

base::WaitableEvent* SyncChannel::SyncContext::top_send_done_event() {
  base::AutoLock lock(pending_lock_);
  return pending_sends_.back().done_event;
}

bool SyncChannel::SyncContext::MatchReply(const Message* msg) {
  base::AutoLock lock(pending_lock_);
  if (pending_sends_.empty() || !SyncMessage::IsMessageReplyTo(*msg, pending_sends_.back().id))
    return false;
  pending_sends_.back().TakeReply(*msg);
  return true;
}

bool SyncChannel::SyncContext::AwaitsReply(int id) {
  base::AutoLock lock(pending_lock_);
  for (const PendingSend& pending : pending_sends_) {
    if (pending.id == id)
      return true;
  }
  return false;
}

void SyncChannel::SyncContext::AbortPendingSends() {
  base::AutoLock lock(pending_lock_);
  for (PendingSend& pending : pending_sends_)
    pending.done_event->Signal();
}

void SyncChannel::SyncContext::OnSendTimedOut(int id) {
  base::AutoLock lock(pending_lock_);
  for (PendingSend& pending : pending_sends_) {
    if (pending.id == id) {
      pending.done_event->Signal();
      return;
    }
  }
}

void SyncChannel::SyncContext::DispatchQueued() {
  sync_queue_->DispatchQueued();
}

void SyncChannel::SyncContext::OnWaitableEventSignaled(base::WaitableEvent* event) {
  if (event == shutdown_event_) {
    AbortPendingSends();
    return;
  }
  // The innermost send of a nested-loop wait is done: its reply, an abort or its timeout.
  MessageLoop::current()->QuitNow();
}

bool SyncChannel::SyncContext::OnMessageReceived(const Message& msg) {
  if (OfferToFilters(msg))
    return true;
  if (msg.is_reply()) {
    // The reply of the innermost send, or of an outer one, which completes once the inner
    // ones are popped.
    sync_queue_->MatchOrHoldReply(msg, this);
    return true;
  }
  if (msg.should_unblock()) {
    sync_queue_->QueueMessage(msg, this);
    return true;
  }
  return OnMessageReceivedNoFilter(msg);
}

void SyncChannel::SyncContext::OnChannelError() {
  AbortPendingSends();
  shutdown_watcher_.StopWatching();
  Context::OnChannelError();
}

void SyncChannel::SyncContext::OpenOnIOThread() {
  if (shutdown_event_)
    shutdown_watcher_.StartWatching(shutdown_event_, this);
  Context::OpenOnIOThread();
}

void SyncChannel::SyncContext::CloseOnIOThread(base::TimeTicks deadline,
                                               const Channel::ClosedCallback& closed) {
  AbortPendingSends();
  shutdown_watcher_.StopWatching();
  // The held replies refer to this context; no send of it can take them any more.
  sync_queue_->DropHeldReplies(this);
  Context::CloseOnIOThread(deadline, closed);
}

void SyncChannel::SyncContext::ForgetListener() {
  AbortPendingSends();
  // A proxy forgets its listener on Close and again when it is destroyed; the queue counts
  // each context once.
  if (!detached_) {
    detached_ = true;
    sync_queue_->DetachContext(this);
  }
  Context::ForgetListener();
}

//------------------------------------------------------------------------------
// SyncChannel

SyncChannel::SyncChannel(ChannelHandle channel_handle,
                         Channel::Mode mode,
                         Channel::Listener* listener,
                         base::MessageLoopProxy* ipc_message_loop,
                         bool create_pipe_now,
                         base::WaitableEvent* shutdown_event)
    : ChannelProxy(new SyncContext(listener, ipc_message_loop, shutdown_event)) {
  Init(std::move(channel_handle), mode, create_pipe_now);
  dispatch_watcher_.StartWatching(sync_context()->GetDispatchEvent(), this);
}

SyncChannel::~SyncChannel() {}

SyncChannel::SyncContext* SyncChannel::sync_context() {
  return static_cast<SyncContext*>(context());
}

bool SyncChannel::Send(Message* message) {
  return SendWithTimeout(message, kNoTimeout);
}

bool SyncChannel::SendWithTimeout(Message* message, int timeout_ms) {
  if (!message->is_sync())
    return ChannelProxy::Send(message);

  SyncMessage* sync_msg = SyncMessage::FromSyncRequest(message);
  if (!sync_msg) {
    delete message;
    return false;
  }

  // The channel may be deleted while the send waits (by a request dispatched meanwhile).
  scoped_refptr<SyncContext> context(sync_context());
  context->PushPendingSend(sync_msg);
  // Checked once the send is pending: a shutdown signalled from here on reaches it through
  // the shutdown watcher, one signalled before is seen now.
  if (context->shutdown_event() && context->shutdown_event()->IsSignaled()) {
    delete message;
    context->Pop();
    return false;
  }

  int message_id = SyncMessage::GetMessageId(*sync_msg);
  base::WaitableEvent* pump_messages_event = sync_msg->pump_messages_event();
  // Without the IPC thread neither the request nor its time-out would ever be handled.
  if (!ChannelProxy::Send(message)) {
    context->Pop();
    return false;
  }
  if (timeout_ms != kNoTimeout &&
      !context->ipc_loop()->PostDelayedTask(
          FROM_HERE_WITH_FUNCTION("IPC::SyncChannel::SendWithTimeout"),
          base::Bind(&SyncContext::OnSendTimedOut, context.get(), message_id),
          base::TimeDelta::FromMilliseconds(timeout_ms)))
    context->OnSendTimedOut(message_id);

  WaitForReply(context.get(), pump_messages_event);
  return context->Pop();
}

void SyncChannel::WaitForReply(SyncContext* context, base::WaitableEvent* pump_messages_event) {
  context->DispatchQueued();
  while (true) {
    base::WaitableEvent* objects[] = {context->GetDispatchEvent(),
                                      context->top_send_done_event(), pump_messages_event};
    size_t count = pump_messages_event ? 3 : 2;
    size_t result = base::WaitableEvent::WaitMany(objects, count);
    if (result == kDispatchEventIndex) {
      // A request came in while blocked; the peer may be blocked on it in turn.
      context->GetDispatchEvent()->Reset();
      context->DispatchQueued();
      continue;
    }
    if (result == kPumpMessagesEventIndex)
      WaitForReplyWithNestedMessageLoop(context);
    return;
  }
}

void SyncChannel::WaitForReplyWithNestedMessageLoop(SyncContext* context) {
  ReceivedSyncMsgQueue* queue = context->received_sync_msgs();
  base::WaitableEventWatcher send_done_watcher;

  // An outer send waiting the same way must not end this run: its watcher pauses until the
  // inner send is done, so nested sends still complete innermost first.
  base::WaitableEventWatcher* outer_watcher = queue->top_send_done_watcher();
  base::WaitableEventWatcher::Delegate* outer_delegate = nullptr;
  base::WaitableEvent* outer_event = nullptr;
  if (outer_watcher) {
    outer_delegate = outer_watcher->delegate();
    outer_event = outer_watcher->GetWatchedEvent();
    outer_watcher->StopWatching();
  }
  queue->set_top_send_done_watcher(&send_done_watcher);

  // The context quits the run once the send is done; requests arriving meanwhile are served
  // by the dispatch watchers and tasks, which run since nestable tasks are allowed.
  send_done_watcher.StartWatching(context->top_send_done_event(), context);
  MessageLoop* loop = MessageLoop::current();
  bool old_state = loop->NestableTasksAllowed();
  loop->SetNestableTasksAllowed(true);
  loop->Run();
  loop->SetNestableTasksAllowed(old_state);

  queue->set_top_send_done_watcher(outer_watcher);
  if (outer_watcher && outer_event)
    outer_watcher->StartWatching(outer_event, outer_delegate);
}

void SyncChannel::OnWaitableEventSignaled(base::WaitableEvent* event) {
  // Watched again before dispatching, since dispatching may delete this channel.
  event->Reset();
  dispatch_watcher_.StartWatching(event, this);
  scoped_refptr<SyncContext> context(sync_context());
  context->DispatchQueued();
}

}  // namespace IPC
