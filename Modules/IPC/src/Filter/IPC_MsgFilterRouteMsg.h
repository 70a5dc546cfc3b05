// The routing filters of the worker channels: the server's end routes a client's messages
// and reports its connection; the client's end delivers what the server sends.
#ifndef IPC_FILTER_IPC_MSGFILTERROUTEMSG_H_
#define IPC_FILTER_IPC_MSGFILTERROUTEMSG_H_

#include <cstdint>

#include "Filter/IPC_MsgFilter.h"
#include "Host/IPC_HostWeakPtr.h"

class IPC_HostClient;
class IPC_HostServer;

// On one of the server's worker channels, identified by |channel_id|.
class IPC_MsgFilterRouteMsgServer : public IPC_MsgFilter {
 public:
  IPC_MsgFilterRouteMsgServer(int channel_id, IPC_HostWeakPtr<IPC_HostServer>* server);

  void OnChannelConnected(int32_t peer_pid) override;
  void OnChannelError() override;
  void OnChannelAccepted() override;
  void OnChannelClosing() override;
  bool OnMessageReceived(const IPC::Message& message) override;

 private:
  ~IPC_MsgFilterRouteMsgServer() override;
  void OnRoutingMessage(const IPC::Message& message);

  const int m_iChannelId;
  int m_iPeerPid;  // 0 until the client connected
  bool m_bConnected;  // a client's hello passed the channel's check
  scoped_refptr<IPC_HostWeakPtr<IPC_HostServer>> m_Server;  // null once the channel closes
};

// On a client host's worker channel; |server_id| is the server's communication id.
class IPC_MsgFilterRouteMsgClient : public IPC_MsgFilter {
 public:
  IPC_MsgFilterRouteMsgClient(int server_id, IPC_HostWeakPtr<IPC_HostClient>* client);

  void OnChannelConnected(int32_t peer_pid) override;
  void OnChannelError() override;
  bool OnMessageReceived(const IPC::Message& message) override;

 private:
  ~IPC_MsgFilterRouteMsgClient() override;
  void OnRoutingMessage(const IPC::Message& message);

  const int m_iServerId;
  int m_iPeerPid;  // 0 until the server's hello is known
  scoped_refptr<IPC_HostWeakPtr<IPC_HostClient>> m_Client;
};

#endif  // IPC_FILTER_IPC_MSGFILTERROUTEMSG_H_
