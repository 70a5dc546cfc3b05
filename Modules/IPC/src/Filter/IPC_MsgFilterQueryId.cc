// Channel id queries.
#include "Filter/IPC_MsgFilterQueryId.h"

#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_Trace.h"

IPC_MsgFilterQueryId::IPC_MsgFilterQueryId(int channel_id) : m_iChannelId(channel_id) {}

IPC_MsgFilterQueryId::~IPC_MsgFilterQueryId() {}

bool IPC_MsgFilterQueryId::OnMessageReceived(const IPC::Message& message) {
  if (message.type() != ChannelMsg_ClientQueryId::ID)
    return false;
  OnQueryId(message);
  return true;
}

void IPC_MsgFilterQueryId::OnQueryId(const IPC::Message& request) {
  IPC::Message* reply = ChannelMsg_ClientQueryId::Reply(request, m_iChannelId);
  IPC_TRACE(L"m_iChannelId:%d\n", m_iChannelId);
  if (reply)
    Send(reply);
}
