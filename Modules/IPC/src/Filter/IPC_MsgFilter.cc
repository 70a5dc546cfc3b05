// The filters' shared channel handling.
#include "Filter/IPC_MsgFilter.h"

#include "base/memory/scoped_ptr.h"

IPC_MsgFilter::IPC_MsgFilter() : m_pChannel(nullptr) {}

IPC_MsgFilter::~IPC_MsgFilter() {}

bool IPC_MsgFilter::Send(IPC::Message* message) {
  scoped_ptr<IPC::Message> owned(message);
  return m_pChannel && m_pChannel->Send(owned.release());
}

void IPC_MsgFilter::OnFilterAdded(IPC::Channel* channel) {
  m_pChannel = channel;
}

void IPC_MsgFilter::OnChannelClosing() {
  m_pChannel = nullptr;
}
