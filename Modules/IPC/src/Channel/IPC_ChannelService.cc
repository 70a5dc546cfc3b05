// Opening, closing and sending on the server end, and the channel id counter.
#include "Channel/IPC_ChannelService.h"

#include <windows.h>

#include <atomic>
#include <utility>

#include "Filter/IPC_MsgFilterQueryId.h"
#include "Thread/IPC_ThreadMsgLoopProxy.h"
#include "Thread/IPC_Thread.h"
#include "ipc/ipc_channel.h"

namespace {

// Ids count up from here for the first service of the process.
const int kChannelIdBase = 10000;

}  // namespace

IPC_ChannelService::IPC_ChannelService() {
  m_iChannelId = NextChannelId();
}

IPC_ChannelService::~IPC_ChannelService() {}

// static
int IPC_ChannelService::NextChannelId() {
  static std::atomic<int> last_id(static_cast<int>(::GetCurrentProcessId()) + kChannelIdBase - 1);
  return ++last_id;
}

bool IPC_ChannelService::Init(const std::string& name) {
  if (m_bInited)
    return false;
  m_strName = name.empty() ? IPC::Channel::GenerateVerifiedChannelID(std::string()) : name;
  m_pChannel.reset(new IPC::ChannelProxy(m_strName, IPC::Channel::kModeServer, this,
                                         new IPC_ThreadMsgLoopProxy(IPC_THREAD_IO)));
  // The pipe is the first and only instance of its name: it cannot be created while
  // another process serves the name, nor for a name the system refuses.
  if (!m_pChannel->pipe_opened()) {
    m_pChannel.reset();
    return false;
  }
  m_pChannel->AddFilter(new IPC_MsgFilterQueryId(m_iChannelId));
  m_bInited = true;
  return true;
}

bool IPC_ChannelService::Close() {
  if (!m_bInited)
    return false;
  m_pChannel->Close();
  ForgetChannel();
  return true;
}

bool IPC_ChannelService::CloseAfterWriting(base::TimeTicks deadline,
                                           const IPC::Channel::ClosedCallback& closed) {
  if (!m_bInited)
    return false;
  const bool posted = m_pChannel->CloseAfterWriting(deadline, closed);
  ForgetChannel();
  return posted;
}

void IPC_ChannelService::ForgetChannel() {
  m_PendingSends = std::queue<scoped_ptr<IPC::Message>>();
  m_bInited = false;
}

bool IPC_ChannelService::CloseAndWait() {
  if (!m_bInited)
    return false;
  m_pChannel->CloseWait();
  return Close();
}

bool IPC_ChannelService::Send(scoped_ptr<IPC::Message> message) {
  if (!m_pChannel) {
    m_PendingSends.push(std::move(message));
    return true;
  }
  if (!m_bInited)
    return false;
  while (!m_PendingSends.empty()) {
    m_pChannel->Send(m_PendingSends.front().release());
    m_PendingSends.pop();
  }
  return m_pChannel->Send(message.release());
}

void IPC_ChannelService::AddFilter(IPC::ChannelProxy::MessageFilter* filter) {
  if (m_pChannel)
    m_pChannel->AddFilter(filter);
}

void IPC_ChannelService::RemoveFilter(IPC::ChannelProxy::MessageFilter* filter) {
  if (m_pChannel)
    m_pChannel->RemoveFilter(filter);
}

