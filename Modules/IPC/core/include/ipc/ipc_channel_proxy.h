// A channel used from one thread (the listener thread) while its pipe lives on another (the
// IPC thread, running a MessageLoopForIO), with filters that see messages on the IPC thread.
#ifndef IPC_IPC_CHANNEL_PROXY_H_
#define IPC_IPC_CHANNEL_PROXY_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/memory/ref_counted.h"
#include "base/memory/scoped_ptr.h"
#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/lock.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_channel_handle.h"
#include "ipc/ipc_message.h"

namespace IPC {

// The proxy's own operations are called on the listener thread (AddFilter from any thread);
// they post requests to the IPC thread and never block, except CloseWait. The listener is
// called on the listener thread only: OnChannelConnected at most once and before the first
// message, and nothing after Close. Messages reach filters and the listener in arrival
// order; sends leave in the order of Send.
class ChannelProxy : public Message::Sender {
 public:
  struct MessageFilterTraits;

  // Sees every incoming message on the IPC thread before the listener, and may consume it.
  // Every call is made on the IPC thread. When the last reference goes, OnDestruct decides
  // how the filter dies (by default it is deleted on the releasing thread).
  class MessageFilter : public base::RefCountedThreadSafe<MessageFilter, MessageFilterTraits> {
   public:
    MessageFilter() {}

    // Joined to |channel|, which exists; the pointer is valid until OnFilterRemoved or
    // OnChannelClosing.
    virtual void OnFilterAdded(Channel* /*channel*/) {}

    // Removed from the proxy, or the channel closes.
    virtual void OnFilterRemoved() {}

    // The peer's hello arrived, or the filter was adopted after it had.
    virtual void OnChannelConnected(int32_t /*peer_pid*/) {}

    virtual void OnChannelError() {}

    // A server channel's client opened the pipe, or the filter was adopted after it had.
    virtual void OnChannelAccepted() {}

    // The proxy closes the channel; OnFilterRemoved follows.
    virtual void OnChannelClosing() {}

    // True consumes |message|: no later filter and not the listener sees it.
    virtual bool OnMessageReceived(const Message& /*message*/) { return false; }

    // Called instead of deleting the filter when its last reference is released, on the
    // releasing thread.
    virtual void OnDestruct() const { delete this; }

   protected:
    friend struct MessageFilterTraits;
    virtual ~MessageFilter() {}

   private:
    MessageFilter(const MessageFilter&) = delete;
    MessageFilter& operator=(const MessageFilter&) = delete;
  };

  struct MessageFilterTraits {
    static void Destruct(const MessageFilter* filter) { filter->OnDestruct(); }
  };

  // Creates the channel at once on the calling thread (a server's pipe exists when the
  // constructor returns) and connects it on the IPC thread of |ipc_thread|. The calling
  // thread must run a message loop: it is the listener thread.
  ChannelProxy(ChannelHandle channel_handle,
               Channel::Mode mode,
               Channel::Listener* listener,
               base::MessageLoopProxy* ipc_thread);

  // Closes the channel.
  ~ChannelProxy() override;

  // Forgets the listener and asks the IPC thread to close the channel once what was sent
  // before is written (for at most 5 seconds); returns at once. Closing twice is harmless.
  void Close();

  // Like Close, but waits up to 5 seconds for the IPC thread to have closed the channel.
  void CloseWait();

  // Like Close, with the writing cut short at |deadline|; |closed| (may be null) runs on
  // the IPC thread once the channel is closed, told whether everything was written. False,
  // with |closed| never run, when the IPC thread is gone.
  bool CloseAfterWriting(base::TimeTicks deadline, const Channel::ClosedCallback& closed);

  // Takes ownership of |message| and posts it to the IPC thread; false only when the IPC
  // thread is gone (the message is deleted). A failed write shows up later as
  // OnChannelError, once per channel; later messages are dropped.
  bool Send(Message* message) override;

  // From any thread: |filter| is adopted by the IPC thread no later than the connection.
  void AddFilter(MessageFilter* filter);

  // Removing a filter that was never added does nothing.
  void RemoveFilter(MessageFilter* filter);

  // The peer's process id, valid once OnChannelConnected has been delivered; 0 before.
  int32_t peer_pid() const;

  // Whether the pipe could be opened when the channel was built on this thread; when not,
  // OnChannelError follows.
  bool pipe_opened() const { return pipe_opened_; }

 protected:
  class Context;

  // For subclasses with their own context, which then run Init themselves.
  explicit ChannelProxy(Context* context);

  // Builds the channel now on this thread (|create_pipe_now|) or on the IPC thread, then
  // queues its connection on the IPC thread.
  void Init(ChannelHandle channel_handle, Channel::Mode mode, bool create_pipe_now);

  Context* context() { return context_.get(); }

 private:
  // Posts the close; false when the IPC thread is gone.
  bool PostClose(const char* posted_from,
                 base::TimeTicks deadline,
                 const Channel::ClosedCallback& closed);

  scoped_refptr<Context> context_;
  bool did_init_;
  bool pipe_opened_;

  ChannelProxy(const ChannelProxy&) = delete;
  ChannelProxy& operator=(const ChannelProxy&) = delete;
};

// The IPC-thread half of a proxy: it owns the channel, is its listener, runs the filters and
// forwards what they leave to the real listener by tasks on the listener thread. It may
// outlive the proxy while tasks that hold it are pending. |filters_| and |channel_| are
// touched on the IPC thread only (the channel is built on the listener thread before the IPC
// thread sees it). From the open to the close the IPC thread holds a reference of its own;
// when the IPC thread's loop goes away first, the context closes then and lets go.
class ChannelProxy::Context : public base::RefCountedThreadSafe<Context>,
                              public Channel::Listener,
                              public MessageLoop::DestructionObserver {
 public:
  Context(Channel::Listener* listener, base::MessageLoopProxy* ipc_thread);

  // From any thread.
  void AddFilter(MessageFilter* filter);

  base::MessageLoopProxy* listener_loop() const { return listener_loop_.get(); }
  base::MessageLoopProxy* ipc_loop() const { return ipc_loop_.get(); }
  const std::string& channel_id() const { return channel_id_; }
  int32_t peer_pid() const { return peer_pid_.load(); }

 protected:
  friend class base::RefCountedThreadSafe<Context>;
  friend class ChannelProxy;

  ~Context() override;

  // Channel::Listener, on the IPC thread:
  bool OnMessageReceived(const Message& message) override;
  void OnChannelConnected(int32_t peer_pid) override;
  void OnChannelError() override;
  void OnChannelAccepted() override;

  // Connects the channel, holding a reference on behalf of the IPC thread until the close.
  virtual void OpenOnIOThread();

  // MessageLoop::DestructionObserver, on the IPC thread: the loop ends before the close.
  void WillDestroyCurrentMessageLoop() override;

  // Tells and drops the filters and deletes the channel once what was sent is written or
  // |deadline| passes; |closed| (may be null) runs then. A later close only adds its
  // callback, run at once when the channel is gone already.
  virtual void CloseOnIOThread(base::TimeTicks deadline, const Channel::ClosedCallback& closed);

  // On the listener thread: nothing more is delivered to the listener.
  virtual void ForgetListener();

  // Forwards |message| to the listener thread without offering it to the filters.
  bool OnMessageReceivedNoFilter(const Message& message);

  // Offers |message| to the filters in order until one consumes it.
  bool OfferToFilters(const Message& message);

  // On the listener thread: the deliveries to the listener.
  void DeliverMessage(const Message& message);
  void DeliverConnected();
  void DeliverError();

  Channel* channel() const { return channel_.get(); }
  Channel::Listener* listener() const { return listener_; }

 private:
  typedef std::vector<scoped_refptr<MessageFilter>> FilterList;

  void MakeChannel(ChannelHandle channel_handle, Channel::Mode mode);
  void AdoptPendingFilters();
  void DropFilter(MessageFilter* filter);
  void SendOnChannel(scoped_ptr<Message> message);
  // The channel has closed after writing: it goes, and so does the IPC thread's reference.
  void OnChannelClosed(bool written);

  scoped_refptr<base::MessageLoopProxy> listener_loop_;
  Channel::Listener* listener_;  // not owned; null once forgotten
  FilterList filters_;
  scoped_refptr<base::MessageLoopProxy> ipc_loop_;
  scoped_ptr<Channel> channel_;
  // The IPC thread's reference, from OpenOnIOThread to CloseOnIOThread.
  scoped_refptr<Context> ipc_thread_reference_;
  std::string channel_id_;
  bool closing_;                  // IPC thread: a close has begun
  bool error_reported_;           // IPC thread: a channel fails once, sends after it are dropped
  std::vector<Channel::ClosedCallback> closed_callbacks_;  // IPC thread
  bool connected_delivered_;      // listener thread only
  bool accepted_;                 // IPC thread only
  FilterList pending_filters_;    // guarded by pending_filters_lock_
  base::Lock pending_filters_lock_;
  // Written on the IPC thread before the tasks that read it on the listener thread are
  // posted; atomic because peer_pid() may be read at any time.
  std::atomic<int32_t> peer_pid_;

  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
};

}  // namespace IPC

#endif  // IPC_IPC_CHANNEL_PROXY_H_
