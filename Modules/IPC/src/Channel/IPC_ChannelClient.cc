// Connecting, identifying, sending and closing on the client end.
#include "Channel/IPC_ChannelClient.h"

#include "base/bind.h"
#include "base/location.h"
#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_Trace.h"
#include "Thread/IPC_ThreadEnviroment.h"
#include "Thread/IPC_ThreadMsgLoopProxy.h"

namespace {

// Keeps |event| alive until the tasks queued on "IOThread" before this one have run.
void KeepUntilIOThreadIsPast(const scoped_refptr<IPC_SharedEvent>& /*event*/) {}

}  // namespace

IPC_ChannelClient::IPC_ChannelClient()
    : m_pOwnerLoop(nullptr), m_ShutdownEvent(new IPC_SharedEvent), m_bAborted(false) {}

IPC_ChannelClient::~IPC_ChannelClient() {
  Close();
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_IO,
                                 FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::~IPC_ChannelClient"),
                                 base::Bind(&KeepUntilIOThreadIsPast, m_ShutdownEvent));
}

bool IPC_ChannelClient::Init(const std::string& name) {
  if (name.empty())
    return false;
  if (m_bInited)
    return name == m_strName;
  m_pOwnerLoop = MessageLoop::current();
  if (!m_pOwnerLoop)
    return false;

  // Reset before the abort check, so an abort either is seen here or signals afterwards.
  m_ShutdownEvent->event()->Reset();
  if (m_bAborted)
    return false;

  m_strName = name;
  m_pChannel.reset(new IPC::SyncChannel(name, IPC::Channel::kModeClient, this,
                                        new IPC_ThreadMsgLoopProxy(IPC_THREAD_IO), true,
                                        m_ShutdownEvent->event()));
  m_iChannelId = -1;
  if (Send(new ChannelMsg_ClientQueryId(&m_iChannelId)) && m_iChannelId != -1) {
    IPC_TRACE(L"ChannelMsg_ClientQueryId:%d\n", m_iChannelId);
    scoped_refptr<IPC::SyncMessageFilter> filter(
        new IPC::SyncMessageFilter(m_ShutdownEvent->event()));
    {
      base::AutoLock lock(m_FilterLock);
      m_SyncFilter = filter;
    }
    m_pChannel->AddFilter(filter.get());
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

bool IPC_ChannelClient::Send(IPC::Message* message) {
  if (m_pOwnerLoop && MessageLoop::current() == m_pOwnerLoop) {
    if (!m_pChannel) {
      delete message;
      return false;
    }
    return m_pChannel->Send(message);
  }
  scoped_refptr<IPC::SyncMessageFilter> filter = sync_filter();
  if (!filter) {
    delete message;
    return false;
  }
  return filter->Send(message);
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
  if (m_bInited)
    m_ShutdownEvent->Signal();
  if (m_pChannel) {
    IPC::SyncChannel* channel = m_pChannel.release();
    scoped_refptr<IPC::SyncMessageFilter> filter;
    {
      base::AutoLock lock(m_FilterLock);
      filter.swap(m_SyncFilter);
    }
    if (filter)
      channel->RemoveFilter(filter.get());
    channel->CloseWait();
    DestroyChannel(channel);
  }
  m_bInited = false;
}

void IPC_ChannelClient::DestroyChannel(IPC::SyncChannel* channel) {
  if (m_pOwnerLoop && MessageLoop::current() != m_pOwnerLoop) {
    m_pOwnerLoop->DeleteSoon(FROM_HERE_WITH_FUNCTION("IPC_ChannelClient::CloseImpl"), channel);
    return;
  }
  delete channel;
}

scoped_refptr<IPC::SyncMessageFilter> IPC_ChannelClient::sync_filter() {
  base::AutoLock lock(m_FilterLock);
  return m_SyncFilter;
}
