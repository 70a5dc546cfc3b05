// Worker hand-out on the rendezvous channel.
#include "Filter/IPC_MsgFilterRequestService.h"

#include <string>

#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_HostServer.h"

IPC_MsgFilterRequestService::IPC_MsgFilterRequestService(IPC_HostWeakPtr<IPC_HostServer>* server,
                                                         int generation)
    : m_Server(server), m_iGeneration(generation) {}

IPC_MsgFilterRequestService::~IPC_MsgFilterRequestService() {}

void IPC_MsgFilterRequestService::OnChannelError() {
  if (scoped_refptr<IPC_HostServer> server = m_Server->Get())
    server->OnHostChannelError_MsgFilter(m_iGeneration);
}

void IPC_MsgFilterRequestService::OnChannelAccepted() {
  if (scoped_refptr<IPC_HostServer> server = m_Server->Get())
    server->OnRendezvousAccepted_MsgFilter(m_iGeneration);
}

bool IPC_MsgFilterRequestService::OnMessageReceived(const IPC::Message& message) {
  if (message.type() != ChannelMsg_ClientHostRequestService::ID)
    return false;
  OnRequestService(message);
  return true;
}

void IPC_MsgFilterRequestService::OnRequestService(const IPC::Message& request) {
  std::string worker_name;
  // A request that cannot be answered takes no worker: nobody would ever connect to it.
  if (IPC_ControlRequestReads(request)) {
    if (scoped_refptr<IPC_HostServer> server = m_Server->Get())
      worker_name = server->OnRequestService_MsgFilter();
  }
  if (IPC::Message* reply = ChannelMsg_ClientHostRequestService::Reply(request, worker_name))
    Send(reply);
}
