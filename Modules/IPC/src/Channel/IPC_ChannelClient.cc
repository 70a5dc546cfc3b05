// Connecting, identifying, sending and closing on the client end.
#include "Channel/IPC_ChannelClient.h"

#include <utility>

#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/location.h"
#include "base/message_loop.h"
#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_Trace.h"
#include "Thread/IPC_ThreadEnviroment.h"
#include "Thread/IPC_ThreadMsgLoopProxy.h"

namespace {

// Keeps |event| alive until the tasks queued on "IOThread" before this one have run.
void KeepUntilIOThreadIsPast(const scoped_refptr<IPC_SharedEvent>& /*event*/) {}

// The task that carries a channel to its owner thread; the channel dies with the task, run
// or dropped by a loop that is going away.
void DeleteChannel(IPC::SyncChannel* /*channel*/) {}

}  // namespace

IPC_ChannelClient::IPC_ChannelClient()
    : m_ShutdownEvent(new IPC_SharedEvent), m_bAborted(false) {}

IPC_ChannelClient::~IPC_ChannelClient() {
  Close();
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_IO,
                                 FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::~IPC_ChannelClient"),
                                 base::Bind(&KeepUntilIOThreadIsPast, m_ShutdownEvent));
}

bool IPC_ChannelClient::Init(const std::string& name) {
  return InitWithFilter(name, nullptr);
}

bool IPC_ChannelClient::InitWithFilter(const std::string& name,
                                       IPC::ChannelProxy::MessageFilter* filter) {
  if (name.empty())
    return false;
  if (m_bInited)
    return name == m_strName;
  if (!MessageLoop::current())
    return false;
  m_pOwnerLoop = base::MessageLoopProxy::current();

  // Reset before the abort check, so an abort either is seen here or signals afterwards.
  m_ShutdownEvent->event()->Reset();
  if (m_bAborted)
    return false;

  m_strName = name;
  m_pChannel.reset(new IPC::SyncChannel(name, IPC::Channel::kModeClient, this,
                                        new IPC_ThreadMsgLoopProxy(IPC_THREAD_IO), true,
                                        m_ShutdownEvent->event()));
  // Adopted no later than the peer's hello, which comes before anything else it sends.
  if (filter)
    m_pChannel->AddFilter(filter);
  m_iChannelId = -1;
  if (Send(make_scoped_ptr<IPC::Message>(new ChannelMsg_ClientQueryId(&m_iChannelId))) &&
      m_iChannelId != -1) {
    IPC_TRACE(L"ChannelMsg_ClientQueryId:%d\n", m_iChannelId);
    scoped_refptr<IPC::SyncMessageFilter> sync_filter(
        new IPC::SyncMessageFilter(m_ShutdownEvent->event()));
    {
      base::AutoLock lock(m_FilterLock);
      m_SyncFilter = sync_filter;
    }
    m_pChannel->AddFilter(sync_filter.get());
    m_bInited = true;
    return true;
  }
  Close();
  return false;
}

bool IPC_ChannelClient::Close() {
  CloseImpl();
  return true;
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
  if (m_pOwnerLoop) {
    m_pOwnerLoop->PostTask(FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::OnChannelError"),
                           base::Bind(&IPC_ChannelClient::CloseImpl, this));
  }
}

void IPC_ChannelClient::Abort() {
  m_bAborted = true;
  m_ShutdownEvent->Signal();
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
  return m_pOwnerLoop && m_pOwnerLoop->RunsTasksOnCurrentThread();
}

void IPC_ChannelClient::DestroyChannel(scoped_ptr<IPC::SyncChannel> channel) {
  if (!m_pOwnerLoop || OnOwnerThread())
    return;
  m_pOwnerLoop->PostTask(FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::CloseImpl"),
                         base::Bind(&DeleteChannel, base::Owned(channel.release())));
}

scoped_refptr<IPC::SyncMessageFilter> IPC_ChannelClient::sync_filter() {
  base::AutoLock lock(m_FilterLock);
  return m_SyncFilter;
}
