// A channel proxy whose Send blocks the listener thread until a synchronous request's reply
// is in, while still serving the synchronous requests that arrive meanwhile.
#ifndef IPC_IPC_SYNC_CHANNEL_H_
#define IPC_IPC_SYNC_CHANNEL_H_

#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <vector>

#include "base/lazy_instance.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/synchronization/waitable_event_watcher.h"
#include "base/threading/thread_local.h"
#include "ipc/internal/ipc_pending_send.h"
#include "ipc/ipc_channel_handle.h"
#include "ipc/ipc_channel_proxy.h"
#include "ipc/ipc_sync_message.h"

namespace IPC {

// Created, used and destroyed on the listener thread, which must run a message loop. Send of
// a SyncMessage blocks that thread until the reply has been read into the caller's variables,
// the channel fails or closes, the shutdown event is signalled, or the timeout passes; while
// blocked, the thread still dispatches incoming messages that carry the unblock bit (on every
// sync channel of the thread, in arrival order), so two processes sending to each other do
// not deadlock. Nested sends complete innermost first. Replies are matched on the IPC thread.
class SyncChannel : public ChannelProxy, public base::WaitableEventWatcher::Delegate {
 public:
  // SendWithTimeout's value for "wait as long as it takes".
  static const int kNoTimeout = -1;

  // |shutdown_event| (not owned, may be null) releases every blocked send once signalled; it
  // must outlive the channel's IPC-thread work.
  SyncChannel(ChannelHandle channel_handle,
              Channel::Mode mode,
              Channel::Listener* listener,
              base::MessageLoopProxy* ipc_message_loop,
              bool create_pipe_now,
              base::WaitableEvent* shutdown_event);
  ~SyncChannel() override;

  // SendWithTimeout without a timeout.
  bool Send(Message* message) override;

  // A message without the sync bit is sent as by ChannelProxy::Send (true). A synchronous one
  // answers true only when its reply arrived, was not an error reply and its outputs read;
  // with |timeout_ms| other than kNoTimeout it gives up (false) after that many milliseconds.
  // Once the request's pump-messages event is signalled, the wait goes on in a nested run of
  // the thread's loop, which runs the thread's other tasks too.
  virtual bool SendWithTimeout(Message* message, int timeout_ms);

  // The dispatch watcher: serves the requests queued while the thread was not blocked.
  void OnWaitableEventSignaled(base::WaitableEvent* event) override;

 protected:
  class ReceivedSyncMsgQueue;
  class SyncContext;

 private:
  SyncContext* sync_context();

  // Blocks until the innermost send of |context| is done, dispatching queued requests.
  static void WaitForReply(SyncContext* context, base::WaitableEvent* pump_messages_event);

  // Runs the thread's loop, nested, until the innermost send of |context| is done.
  static void WaitForReplyWithNestedMessageLoop(SyncContext* context);

  base::WaitableEventWatcher dispatch_watcher_;
};

// The per-thread list of incoming synchronous requests that the listener thread dispatches
// even while it is blocked, shared by every sync channel of that thread and found through a
// thread-local pointer. The IPC threads queue and hold replies; the listener thread attaches,
// detaches and dispatches.
class SyncChannel::ReceivedSyncMsgQueue
    : public base::RefCountedThreadSafe<ReceivedSyncMsgQueue> {
 public:
  // On the listener thread: the thread's queue, created on first use.
  static scoped_refptr<ReceivedSyncMsgQueue> AttachContext();

  // On the listener thread: drops the requests queued for |context|; the last detach takes
  // the queue off the thread, so the next sync channel there starts a new one.
  void DetachContext(SyncContext* context);

  // On an IPC thread: keeps a copy of |msg| for dispatch and wakes the listener thread.
  void QueueMessage(const Message& msg, SyncContext* context);

  // On an IPC thread: completes the innermost send of |context| with the reply |msg|, or
  // keeps the reply when it is for an outer send, which is not on top yet. A reply for no
  // pending send (one that gave up) can never match and is dropped.
  void MatchOrHoldReply(const Message& msg, SyncContext* context);

  // Whether a reply is held; a Pop retries only then.
  bool HasHeldReplies();

  // On an IPC thread: completes at most one send with a held reply.
  void RetryHeldReplies();

  // On an IPC thread: forgets the replies held for |context|, which can match nothing more.
  void DropHeldReplies(SyncContext* context);

  // On the listener thread: delivers queued requests, across every sync channel of the
  // thread and in arrival order, until none is left.
  void DispatchQueued();

  // Signalled whenever a request is queued.
  base::WaitableEvent* dispatch_event() { return &dispatch_event_; }

  // The watcher of the innermost send that waits in a nested loop; listener thread only.
  base::WaitableEventWatcher* top_send_done_watcher() { return top_send_done_watcher_; }
  void set_top_send_done_watcher(base::WaitableEventWatcher* watcher) {
    top_send_done_watcher_ = watcher;
  }

 private:
  friend class base::RefCountedThreadSafe<ReceivedSyncMsgQueue>;
  friend struct base::DefaultRefCountedThreadSafeTraits<ReceivedSyncMsgQueue>;

  struct QueuedEntry {
    QueuedEntry(const Message& m, SyncContext* c);
    std::unique_ptr<Message> message;  // an owning copy
    scoped_refptr<SyncContext> context;
  };
  typedef std::list<QueuedEntry> EntryList;

  ReceivedSyncMsgQueue();
  ~ReceivedSyncMsgQueue();

  // The task QueueMessage posts to the listener thread.
  void DispatchQueuedTask();

  // Moves the entries of |context| from |entries| to |removed|.
  static void TakeEntriesOf(SyncContext* context, EntryList* entries, EntryList* removed);

  // The queue of each listener thread; leaky, since listener threads may outlive the
  // at-exit teardown.
  static base::LazyInstance<base::ThreadLocalPointer<ReceivedSyncMsgQueue>>::Leaky
      lazy_tls_ptr_;

  EntryList message_queue_;  // guarded by queue_lock_
  // Under the lock too: matching or holding a reply is one step, so that a Pop either finds
  // the reply held or has made its send the innermost before the reply is tried. (It also
  // lets the channels of one listener thread use different IPC threads.)
  EntryList held_replies_;  // guarded by queue_lock_
  base::WaitableEvent dispatch_event_;
  scoped_refptr<base::MessageLoopProxy> listener_loop_;
  base::Lock queue_lock_;
  bool task_pending_;   // guarded by queue_lock_
  int listener_count_;  // listener thread only
  base::WaitableEventWatcher* top_send_done_watcher_;  // listener thread only

  ReceivedSyncMsgQueue(const ReceivedSyncMsgQueue&) = delete;
  ReceivedSyncMsgQueue& operator=(const ReceivedSyncMsgQueue&) = delete;
};

// The IPC-thread half of a sync channel with the listener thread's pending sends. The
// pending list is shared by both threads under |pending_lock_|; only the listener thread
// pushes and pops, and only its innermost send can be matched by a reply.
class SyncChannel::SyncContext : public ChannelProxy::Context,
                                 public base::WaitableEventWatcher::Delegate {
 public:
  SyncContext(Channel::Listener* listener,
              base::MessageLoopProxy* ipc_thread,
              base::WaitableEvent* shutdown_event);

  // Listener thread: the send of |sync_msg| becomes the innermost pending one.
  void PushPendingSend(SyncMessage* sync_msg);

  // Listener thread: ends the innermost send and answers its result; a held reply may now
  // complete the send below it.
  bool Pop();

  // Listener thread: the done event of the innermost send.
  base::WaitableEvent* top_send_done_event();

  // IPC thread: completes the innermost send when |msg| is its reply.
  bool MatchReply(const Message* msg);

  // Whether the send |id| is still pending (it may not be the innermost).
  bool AwaitsReply(int id);

  // Releases every pending send; their results stay false.
  void AbortPendingSends();

  // Releases the send |id| whose timeout passed (IPC thread), or that cannot time out.
  void OnSendTimedOut(int id);

  // Listener thread.
  void DispatchQueued();

  base::WaitableEvent* GetDispatchEvent() { return sync_queue_->dispatch_event(); }
  ReceivedSyncMsgQueue* received_sync_msgs() { return sync_queue_.get(); }
  base::WaitableEvent* shutdown_event() { return shutdown_event_; }

  // The shutdown watcher on the IPC thread, and the send-done watcher of a nested-loop wait
  // on the listener thread.
  void OnWaitableEventSignaled(base::WaitableEvent* event) override;

 protected:
  ~SyncContext() override;

  bool OnMessageReceived(const Message& msg) override;
  void OnChannelError() override;
  void OpenOnIOThread() override;
  void CloseOnIOThread(base::TimeTicks deadline, const Channel::ClosedCallback& closed) override;
  void ForgetListener() override;

 private:
  friend class ReceivedSyncMsgQueue;

  // An unsignalled manual-reset event for a new send. Creating and closing an event for
  // every send would cost two system calls instead of one.
  base::WaitableEvent* NewDoneEvent();

  std::deque<PendingSend> pending_sends_;  // guarded by pending_lock_; innermost last
  base::Lock pending_lock_;
  scoped_refptr<ReceivedSyncMsgQueue> sync_queue_;
  base::WaitableEvent* shutdown_event_;  // not owned
  base::WaitableEventWatcher shutdown_watcher_;  // IPC thread
  bool detached_;  // listener thread: the queue no longer counts this context
  // The done events of finished sends; listener thread only.
  std::vector<std::unique_ptr<base::WaitableEvent>> spare_done_events_;
};

}  // namespace IPC

#endif  // IPC_IPC_SYNC_CHANNEL_H_
