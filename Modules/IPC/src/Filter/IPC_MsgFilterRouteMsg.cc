// Routing messages and worker channel status on both ends of a worker channel.
#include "Filter/IPC_MsgFilterRouteMsg.h"

#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_HostClient.h"
#include "Host/IPC_HostServer.h"

IPC_MsgFilterRouteMsgServer::IPC_MsgFilterRouteMsgServer(int channel_id,
                                                         IPC_HostWeakPtr<IPC_HostServer>* server)
    : m_iChannelId(channel_id), m_iPeerPid(0), m_bConnected(false), m_Server(server) {}

IPC_MsgFilterRouteMsgServer::~IPC_MsgFilterRouteMsgServer() {}

void IPC_MsgFilterRouteMsgServer::OnChannelConnected(int32_t peer_pid) {
  m_iPeerPid = peer_pid;
  m_bConnected = true;
  if (!m_Server)
    return;
  if (scoped_refptr<IPC_HostServer> server = m_Server->Get())
    server->OnChannelStatus_MsgFilter(m_iChannelId, m_iPeerPid, IPC_ChannelListener::kConnected);
}

void IPC_MsgFilterRouteMsgServer::OnChannelError() {
  if (!m_Server)
    return;
  scoped_refptr<IPC_HostServer> server = m_Server->Get();
  if (!server || server->IsQuiet())
    return;
  if (m_bConnected)
    server->OnChannelStatus_MsgFilter(m_iChannelId, m_iPeerPid, IPC_ChannelListener::kError);
  else
    server->OnWorkerFailedUnconnected_MsgFilter(m_iChannelId);
}

void IPC_MsgFilterRouteMsgServer::OnChannelAccepted() {
  if (!m_Server)
    return;
  if (scoped_refptr<IPC_HostServer> server = m_Server->Get())
    server->OnWorkerAccepted_MsgFilter(m_iChannelId);
}

void IPC_MsgFilterRouteMsgServer::OnChannelClosing() {
  m_Server = nullptr;
  IPC_MsgFilter::OnChannelClosing();
}

bool IPC_MsgFilterRouteMsgServer::OnMessageReceived(const IPC::Message& message) {
  if (message.type() != ChannelMsg_RoutingMessage::ID)
    return false;
  OnRoutingMessage(message);
  return true;
}

void IPC_MsgFilterRouteMsgServer::OnRoutingMessage(const IPC::Message& message) {
  int target_id = 0;
  IPC_RoutingData data;
  if (!ChannelMsg_RoutingMessage::Read(message, &target_id, &data) || !m_Server)
    return;
  if (scoped_refptr<IPC_HostServer> server = m_Server->Get())
    server->OnRoutingMessage_MsgFilter(m_iChannelId, target_id, data);
}

IPC_MsgFilterRouteMsgClient::IPC_MsgFilterRouteMsgClient(int server_id,
                                                         IPC_HostWeakPtr<IPC_HostClient>* client)
    : m_iServerId(server_id), m_iPeerPid(0), m_Client(client) {}

IPC_MsgFilterRouteMsgClient::~IPC_MsgFilterRouteMsgClient() {}

void IPC_MsgFilterRouteMsgClient::OnChannelConnected(int32_t peer_pid) {
  m_iPeerPid = peer_pid;
}

void IPC_MsgFilterRouteMsgClient::OnChannelError() {
  if (scoped_refptr<IPC_HostClient> client = m_Client->Get())
    client->OnChannelStatus_MsgFilter(m_iServerId, m_iPeerPid, IPC_ChannelListener::kError);
}

bool IPC_MsgFilterRouteMsgClient::OnMessageReceived(const IPC::Message& message) {
  if (message.type() != ChannelMsg_RoutingMessage::ID)
    return false;
  OnRoutingMessage(message);
  return true;
}

void IPC_MsgFilterRouteMsgClient::OnRoutingMessage(const IPC::Message& message) {
  int source_id = 0;
  IPC_RoutingData data;
  if (!ChannelMsg_RoutingMessage::Read(message, &source_id, &data))
    return;
  if (scoped_refptr<IPC_HostClient> client = m_Client->Get())
    client->OnRoutingMessage_MsgFilter(source_id, data);
}
