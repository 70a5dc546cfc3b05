// Hands out worker channels on a server's rendezvous channel, and tells the server when the
// rendezvous client leaves.
#ifndef IPC_FILTER_IPC_MSGFILTERREQUESTSERVICE_H_
#define IPC_FILTER_IPC_MSGFILTERREQUESTSERVICE_H_

#include "Filter/IPC_MsgFilter.h"
#include "Host/IPC_HostWeakPtr.h"

class IPC_HostServer;

class IPC_MsgFilterRequestService : public IPC_MsgFilter {
 public:
  // On the rendezvous the server opened as its |generation|th.
  IPC_MsgFilterRequestService(IPC_HostWeakPtr<IPC_HostServer>* server, int generation);

  void OnChannelError() override;
  void OnChannelAccepted() override;
  bool OnMessageReceived(const IPC::Message& message) override;

 private:
  ~IPC_MsgFilterRequestService() override;
  void OnRequestService(const IPC::Message& request);

  scoped_refptr<IPC_HostWeakPtr<IPC_HostServer>> m_Server;
  const int m_iGeneration;
};

#endif  // IPC_FILTER_IPC_MSGFILTERREQUESTSERVICE_H_
