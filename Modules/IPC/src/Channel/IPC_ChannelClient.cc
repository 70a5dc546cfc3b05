// Connecting, identifying, sending and closing on the client end.
#include "Channel/IPC_ChannelClient.h"

#include <utility>

#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/location.h"
#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_Trace.h"
#include "Thread/IPC_ThreadEnviroment.h"
#include "Thread/IPC_ThreadMsgLoopProxy.h"
#include "ipc/ipc_channel.h"

namespace {

// Keeps |event| alive until the tasks queued on "IOThread" before this one have run.
void KeepUntilIOThreadIsPast(const scoped_refptr<IPC_SharedEvent>& /*event*/) {}

// The task that carries a channel to its owner thread; the channel dies with the task, run
// or dropped by a loop that is going away.
void DeleteChannel(IPC::SyncChannel* /*channel*/) {}

}  // namespace

IPC_ChannelClient::IPC_ChannelClient()
    : m_pOwnerLoop(new IPC_ThreadMsgLoopProxy(IPC_THREAD_MAIN)),
      m_ShutdownEvent(new IPC_SharedEvent),
      m_bOpened(false) {}

IPC_ChannelClient::~IPC_ChannelClient() {
  CloseImpl();
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_IO,
                                 FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::~IPC_ChannelClient"),
                                 base::Bind(&KeepUntilIOThreadIsPast, m_ShutdownEvent));
}

bool IPC_ChannelClient::Init(IPC_ThreadEnviroment* environment,
                             const std::string& name,
                             IPC::ChannelProxy::MessageFilter* filter,
                             base::TimeTicks deadline) {
  if (name.empty() || !m_strName.empty())
    return false;
  m_strName = name;
  int channel_id = -1;
  if (!OpenOnOwnerThread(environment, filter, deadline) ||
      !Request(make_scoped_ptr<IPC::Message>(new ChannelMsg_ClientQueryId(&channel_id)),
               deadline) ||
      channel_id == -1)
    return false;
  IPC_TRACE(L"ChannelMsg_ClientQueryId:%d\n", channel_id);
  m_iChannelId = channel_id;
  return true;
}

bool IPC_ChannelClient::OpenOnOwnerThread(IPC_ThreadEnviroment* environment,
                                          IPC::ChannelProxy::MessageFilter* filter,
                                          base::TimeTicks deadline) {
  if (!environment->PostTaskAndWaitUntil(
          IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::Init"),
          base::Bind(&IPC_ChannelClient::Open, this, make_scoped_refptr(filter)), deadline) ||
      !m_bOpened)
    return false;
  // The sync filter Open added is the channel's once "IOThread" has run what was posted
  // before this.
  return environment->PostTaskAndWaitUntil(
      IPC_THREAD_IO, FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::Init"),
      base::Bind(&KeepUntilIOThreadIsPast, m_ShutdownEvent), deadline);
}

bool IPC_ChannelClient::Request(scoped_ptr<IPC::Message> request, base::TimeTicks deadline) {
  scoped_refptr<IPC::SyncMessageFilter> filter = sync_filter();
  return filter && filter->SendWithTimeout(request.release(), deadline - base::TimeTicks::Now());
}

void IPC_ChannelClient::Open(scoped_refptr<IPC::ChannelProxy::MessageFilter> filter) {
  // Looked at again right before the open: another client may have taken the only free
  // instance since the caller looked, and opening a busy pipe fails with a warning.
  if (m_pChannel ||
      IPC::Channel::WaitForNamedServer(m_strName, kGlanceMs) != IPC::Channel::SERVER_AVAILABLE)
    return;
  m_pChannel.reset(new IPC::SyncChannel(m_strName, IPC::Channel::kModeClient, this,
                                        new IPC_ThreadMsgLoopProxy(IPC_THREAD_IO), true,
                                        m_ShutdownEvent->event()));
  if (!m_pChannel->pipe_opened()) {
    CloseImpl();
    return;
  }
  // Adopted no later than the peer's hello, which comes before anything else it sends.
  if (filter)
    m_pChannel->AddFilter(filter.get());
  scoped_refptr<IPC::SyncMessageFilter> sync_filter(
      new IPC::SyncMessageFilter(m_ShutdownEvent->event()));
  {
    base::AutoLock lock(m_FilterLock);
    m_SyncFilter = sync_filter;
  }
  m_pChannel->AddFilter(sync_filter.get());
  m_bInited = true;
  m_bOpened = true;
}

bool IPC_ChannelClient::Close() {
  if (OnOwnerThread()) {
    CloseImpl();
    return true;
  }
  return m_pOwnerLoop->PostTask(FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::Close"),
                                base::Bind(&IPC_ChannelClient::CloseImpl, this));
}

void IPC_ChannelClient::CloseAfterWriting(base::TimeTicks deadline,
                                          const scoped_refptr<IPC_CloseTally>& tally) {
  if (!CloseImplBy(deadline, tally->Expect()))
    tally->Forget();
}

bool IPC_ChannelClient::Send(scoped_ptr<IPC::Message> message) {
  if (OnOwnerThread())
    return m_pChannel && m_pChannel->Send(message.release());
  scoped_refptr<IPC::SyncMessageFilter> filter = sync_filter();
  return filter && filter->Send(message.release());
}

void IPC_ChannelClient::AddFilter(IPC::ChannelProxy::MessageFilter* filter) {
  if (m_pChannel)
    m_pChannel->AddFilter(filter);
}

void IPC_ChannelClient::RemoveFilter(IPC::ChannelProxy::MessageFilter* filter) {
  if (m_pChannel)
    m_pChannel->RemoveFilter(filter);
}

void IPC_ChannelClient::OnChannelError() {
  m_pOwnerLoop->PostTask(FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::OnChannelError"),
                         base::Bind(&IPC_ChannelClient::CloseImpl, this));
}

void IPC_ChannelClient::CloseImpl() {
  CloseImplBy(base::TimeTicks::Now(), IPC::Channel::ClosedCallback());
}

bool IPC_ChannelClient::CloseImplBy(base::TimeTicks deadline,
                                    const IPC::Channel::ClosedCallback& closed) {
  if (m_bInited)
    m_ShutdownEvent->Signal();
  bool posted = false;
  if (m_pChannel) {
    scoped_ptr<IPC::SyncChannel> channel(std::move(m_pChannel));
    scoped_refptr<IPC::SyncMessageFilter> filter;
    {
      base::AutoLock lock(m_FilterLock);
      filter.swap(m_SyncFilter);
    }
    if (filter)
      channel->RemoveFilter(filter.get());
    // The close goes on on "IOThread" after the channel object is gone.
    posted = channel->CloseAfterWriting(deadline, closed);
    DestroyChannel(std::move(channel));
  }
  m_bInited = false;
  return posted;
}

bool IPC_ChannelClient::OnOwnerThread() const {
  return m_pOwnerLoop->RunsTasksOnCurrentThread();
}

void IPC_ChannelClient::DestroyChannel(scoped_ptr<IPC::SyncChannel> channel) {
  if (OnOwnerThread())
    return;
  m_pOwnerLoop->PostTask(FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::CloseImpl"),
                         base::Bind(&DeleteChannel, base::Owned(channel.release())));
}

scoped_refptr<IPC::SyncMessageFilter> IPC_ChannelClient::sync_filter() {
  base::AutoLock lock(m_FilterLock);
  return m_SyncFilter;
}
