// The filters' shared channel handling.
#include "Filter/IPC_MsgFilter.h"

IPC_MsgFilter::IPC_MsgFilter() : m_pChannel(nullptr) {}

IPC_MsgFilter::~IPC_MsgFilter() {}

bool IPC_MsgFilter::Send(IPC::Message* message) {
  if (!m_pChannel) {
    delete message;
    return false;
  }
  return m_pChannel->Send(message);
}

void IPC_MsgFilter::OnFilterAdded(IPC::Channel* channel) {
  m_pChannel = channel;
}

void IPC_MsgFilter::OnChannelClosing() {
  m_pChannel = nullptr;
}
