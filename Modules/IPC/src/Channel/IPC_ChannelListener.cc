// The channel wrappers' common part.
#include "Channel/IPC_ChannelListener.h"

IPC_ChannelListener::IPC_ChannelListener() : m_iChannelId(-1), m_bInited(false) {}

IPC_ChannelListener::~IPC_ChannelListener() {}

bool IPC_ChannelListener::OnMessageReceived(const IPC::Message& /*message*/) {
  return false;
}
