// The channel proxy: requests from the listener thread, the channel and its filters on the IPC
// thread, and the deliveries back to the listener.
#include "ipc/ipc_channel_proxy.h"

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"

namespace IPC {

namespace {

// How long a close writes what was sent before, and how long CloseWait waits for it.
const int64_t kCloseWaitTimeoutUs = 5000000;

// The event CloseWait waits on, shared with the close: a close that ends after the wait
// gave up still signals an event that exists.
class CloseDoneEvent : public base::RefCountedThreadSafe<CloseDoneEvent> {
 public:
  CloseDoneEvent() : event_(true, false) {}

  void Signal(bool /*written*/) { event_.Signal(); }
  bool TimedWait(const base::TimeDelta& max_time) { return event_.TimedWait(max_time); }

 private:
  friend class base::RefCountedThreadSafe<CloseDoneEvent>;
  friend struct base::DefaultRefCountedThreadSafeTraits<CloseDoneEvent>;
  ~CloseDoneEvent() {}

  base::WaitableEvent event_;
};

base::TimeTicks DefaultCloseDeadline() {
  return base::TimeTicks::Now() + base::TimeDelta::FromMicroseconds(kCloseWaitTimeoutUs);
}

}  // namespace

//------------------------------------------------------------------------------
// ChannelProxy::Context

ChannelProxy::Context::Context(Channel::Listener* listener, base::MessageLoopProxy* ipc_thread)
    : listener_loop_(base::MessageLoopProxy::current()),
      listener_(listener),
      ipc_loop_(ipc_thread),
      closing_(false),
      error_reported_(false),
      connected_delivered_(false),
      accepted_(false),
      peer_pid_(0) {}

ChannelProxy::Context::~Context() {}

void ChannelProxy::Context::MakeChannel(ChannelHandle channel_handle,
                                        Channel::Mode mode) {
  channel_id_ = channel_handle.name;
  channel_.reset(new Channel(std::move(channel_handle), mode, this));
}

bool ChannelProxy::Context::OnMessageReceived(const Message& message) {
  if (!OfferToFilters(message))
    OnMessageReceivedNoFilter(message);
  return true;
}

bool ChannelProxy::Context::OnMessageReceivedNoFilter(const Message& message) {
  // The channel's message views its read buffer; the task carries an owning copy.
  listener_loop_->PostTask(
      FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::Context::OnMessageReceivedNoFilter"),
      base::Bind(&Context::DeliverMessage, this, message));
  return true;
}

bool ChannelProxy::Context::OfferToFilters(const Message& message) {
  for (const scoped_refptr<MessageFilter>& filter : filters_) {
    if (filter->OnMessageReceived(message))
      return true;
  }
  return false;
}

void ChannelProxy::Context::OnChannelConnected(int32_t /*peer_pid*/) {
  // Filters added before the connection see every message after the hello.
  AdoptPendingFilters();
  peer_pid_ = channel_->peer_pid();
  for (const scoped_refptr<MessageFilter>& filter : filters_)
    filter->OnChannelConnected(peer_pid_);
  listener_loop_->PostTask(
      FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::Context::OnChannelConnected"),
      base::Bind(&Context::DeliverConnected, this));
}

void ChannelProxy::Context::OnChannelError() {
  if (error_reported_)
    return;
  error_reported_ = true;
  for (const scoped_refptr<MessageFilter>& filter : filters_)
    filter->OnChannelError();
  listener_loop_->PostTask(FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::Context::OnChannelError"),
                           base::Bind(&Context::DeliverError, this));
}

void ChannelProxy::Context::OnChannelAccepted() {
  accepted_ = true;
  for (const scoped_refptr<MessageFilter>& filter : filters_)
    filter->OnChannelAccepted();
}

void ChannelProxy::Context::OpenOnIOThread() {
  ipc_thread_reference_ = this;
  MessageLoop::current()->AddDestructionObserver(this);
  if (!channel_->Connect()) {
    OnChannelError();
    return;
  }
  for (const scoped_refptr<MessageFilter>& filter : filters_)
    filter->OnFilterAdded(channel_.get());
}

void ChannelProxy::Context::CloseOnIOThread(base::TimeTicks deadline,
                                            const Channel::ClosedCallback& closed) {
  if (!channel_) {
    if (!closed.is_null())
      closed.Run(true);
    return;
  }
  if (!closed.is_null())
    closed_callbacks_.push_back(closed);
  if (closing_)
    return;
  closing_ = true;
  for (const scoped_refptr<MessageFilter>& filter : filters_) {
    filter->OnChannelClosing();
    filter->OnFilterRemoved();
  }
  filters_.clear();
  channel_->CloseAfterWriting(deadline, base::Bind(&Context::OnChannelClosed, this));
}

void ChannelProxy::Context::OnChannelClosed(bool written) {
  if (!channel_)
    return;
  channel_.reset();
  MessageLoop::current()->RemoveDestructionObserver(this);
  std::vector<Channel::ClosedCallback> closed;
  closed.swap(closed_callbacks_);
  for (const Channel::ClosedCallback& callback : closed)
    callback.Run(written);
  // Dropped last: it may be the final reference to this context.
  scoped_refptr<Context> ipc_thread_reference;
  ipc_thread_reference.swap(ipc_thread_reference_);
}

void ChannelProxy::Context::WillDestroyCurrentMessageLoop() {
  // No task runs any more, so what is still being written is cut short now.
  CloseOnIOThread(base::TimeTicks(), Channel::ClosedCallback());
  if (channel_) {
    channel_->Close();
    OnChannelClosed(false);
  }
}

void ChannelProxy::Context::ForgetListener() {
  listener_ = nullptr;
}

void ChannelProxy::Context::AddFilter(MessageFilter* filter) {
  {
    base::AutoLock lock(pending_filters_lock_);
    pending_filters_.push_back(make_scoped_refptr(filter));
  }
  ipc_loop_->PostTask(FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::Context::AddFilter"),
                      base::Bind(&Context::AdoptPendingFilters, this));
}

void ChannelProxy::Context::AdoptPendingFilters() {
  FilterList adopted;
  {
    base::AutoLock lock(pending_filters_lock_);
    adopted.swap(pending_filters_);
  }
  // Filter calls are made outside the lock: a filter may add another one.
  for (const scoped_refptr<MessageFilter>& filter : adopted) {
    filters_.push_back(filter);
    if (channel_)
      filter->OnFilterAdded(channel_.get());
    if (accepted_)
      filter->OnChannelAccepted();
    if (peer_pid_ != 0)
      filter->OnChannelConnected(peer_pid_);
  }
}

void ChannelProxy::Context::DropFilter(MessageFilter* filter) {
  FilterList::iterator it = std::find(filters_.begin(), filters_.end(), filter);
  if (it == filters_.end())
    return;
  (*it)->OnFilterRemoved();
  filters_.erase(it);
}

void ChannelProxy::Context::SendOnChannel(scoped_ptr<Message> message) {
  if (!channel_ || closing_) {
    // Closed already: the message goes with |message|.
    CloseOnIOThread(base::TimeTicks(), Channel::ClosedCallback());
    return;
  }
  if (error_reported_) {
    // Failed already: the message is dropped, and a sync context releases its sender.
    OnChannelError();
    return;
  }
  if (!channel_->Send(message.release()))
    OnChannelError();
}

void ChannelProxy::Context::DeliverMessage(const Message& message) {
  if (!listener_)
    return;
  DeliverConnected();
  // The connected call may have closed the proxy.
  if (listener_)
    listener_->OnMessageReceived(message);
}

void ChannelProxy::Context::DeliverConnected() {
  if (connected_delivered_)
    return;
  connected_delivered_ = true;
  if (listener_)
    listener_->OnChannelConnected(peer_pid_);
}

void ChannelProxy::Context::DeliverError() {
  if (listener_)
    listener_->OnChannelError();
}

//------------------------------------------------------------------------------
// ChannelProxy

ChannelProxy::ChannelProxy(ChannelHandle channel_handle,
                           Channel::Mode mode,
                           Channel::Listener* listener,
                           base::MessageLoopProxy* ipc_thread)
    : context_(new Context(listener, ipc_thread)), did_init_(false), pipe_opened_(false) {
  Init(std::move(channel_handle), mode, true);
}

ChannelProxy::ChannelProxy(Context* context)
    : context_(context), did_init_(false), pipe_opened_(false) {}

ChannelProxy::~ChannelProxy() {
  Close();
}

void ChannelProxy::Init(ChannelHandle channel_handle,
                        Channel::Mode mode,
                        bool create_pipe_now) {
  if (create_pipe_now) {
    // The pipe exists when Init returns, so a server can be connected to at once.
    context_->MakeChannel(std::move(channel_handle), mode);
    // The IPC thread has not seen the channel yet.
    pipe_opened_ = context_->channel()->pipe_opened();
  } else {
    context_->ipc_loop()->PostTask(
        FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::Init"),
        base::Bind(&Context::MakeChannel, context_.get(), base::Passed(std::move(channel_handle)),
                   mode));
  }
  context_->ipc_loop()->PostTask(FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::Init"),
                                 base::Bind(&Context::OpenOnIOThread, context_.get()));
  did_init_ = true;
}

bool ChannelProxy::PostClose(const char* posted_from,
                             base::TimeTicks deadline,
                             const Channel::ClosedCallback& closed) {
  context_->ForgetListener();
  if (!context_->ipc_loop())
    return false;
  return context_->ipc_loop()->PostTask(
      FROM_HERE_WITH_FUNCTION(posted_from),
      base::Bind(&Context::CloseOnIOThread, context_.get(), deadline, closed));
}

void ChannelProxy::Close() {
  PostClose("IPC::ChannelProxy::Close", DefaultCloseDeadline(), Channel::ClosedCallback());
}

void ChannelProxy::CloseWait() {
  scoped_refptr<CloseDoneEvent> done(new CloseDoneEvent);
  // Nothing to wait for when the IPC thread is gone.
  if (!PostClose("IPC::ChannelProxy::CloseWait", DefaultCloseDeadline(),
                 base::Bind(&CloseDoneEvent::Signal, done)))
    return;
  done->TimedWait(base::TimeDelta::FromMicroseconds(kCloseWaitTimeoutUs));
}

bool ChannelProxy::CloseAfterWriting(base::TimeTicks deadline,
                                     const Channel::ClosedCallback& closed) {
  return PostClose("IPC::ChannelProxy::CloseAfterWriting", deadline, closed);
}

bool ChannelProxy::Send(Message* message) {
  DCHECK(did_init_);
  return context_->ipc_loop()->PostTask(
      FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::Send"),
      base::Bind(&Context::SendOnChannel, context_.get(),
                 base::Passed(scoped_ptr<Message>(message))));
}

void ChannelProxy::AddFilter(MessageFilter* filter) {
  context_->AddFilter(filter);
}

void ChannelProxy::RemoveFilter(MessageFilter* filter) {
  context_->ipc_loop()->PostTask(
      FROM_HERE_WITH_FUNCTION("IPC::ChannelProxy::RemoveFilter"),
      base::Bind(&Context::DropFilter, context_.get(), make_scoped_refptr(filter)));
}

int32_t ChannelProxy::peer_pid() const {
  return context_->peer_pid();
}

}  // namespace IPC
