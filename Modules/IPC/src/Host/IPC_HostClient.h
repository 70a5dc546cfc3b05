// A client host: connects to a server by name through its rendezvous channel, then talks to
// it over a private worker channel.
#ifndef IPC_HOST_IPC_HOSTCLIENT_H_
#define IPC_HOST_IPC_HOSTCLIENT_H_

#include <atomic>
#include <string>

#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "Channel/IPC_ChannelClient.h"
#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_Host.h"
#include "Host/IPC_HostWeakPtr.h"

// Init, Close and Send run on "MainThread"; the routing filter calls the _MsgFilter entry
// points on "IOThread"; Abort comes from the thread that gave up waiting for Init. A broken
// worker channel is reported once (status 2) and the host then drops every send; it never
// reconnects.
class IPC_HostClient : public IPC_Host {
 public:
  // How long a connect may take, from the start of Init to a registered host.
  static const int kConnectTimeoutMs = 10000;

  IPC_HostClient(int mode, const std::string& name);

  bool Init() override;
  void Close(base::TimeTicks write_deadline,
             const scoped_refptr<IPC_CloseTally>& tally) override;
  void DetachFromChannels() override;
  void Send(int target_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) override;
  void Abort() override;
  bool HasLostPeer() const override { return m_bServerLost; }

  void OnChannelStatus_MsgFilter(int id, int process_id, int status);
  void OnRoutingMessage_MsgFilter(int source_id, const IPC_RoutingData& data);

 private:
  ~IPC_HostClient() override;

  // One rendezvous: the worker channel's name from the server, or empty.
  std::string RequestWorkerName(IPC_ChannelClient* rendezvous);

  // The rendezvous attempts of one connect.
  struct ConnectAttempts {
    int made = 0;
    int failed = 0;            // found nobody serving the name
    bool server_seen = false;  // the server's pipe was seen busy with another client
  };

  // One rendezvous attempt; the pipe is opened only when a glance finds an instance free,
  // since opening a missing or busy pipe fails with a warning every time.
  bool TryRendezvous(IPC_ChannelClient* rendezvous, ConnectAttempts* attempts);

  // The one line a connect logs, with its outcome: a failure, or a success that had to wait.
  void LogOutcome(const std::string& server_name,
                  const ConnectAttempts& attempts,
                  bool reached,
                  base::TimeTicks start) const;

  // Whether another rendezvous attempt fits: waits while the server's only pipe instance is
  // busy with another client, and looks again shortly while a server seen during this
  // connect restarts its pipe between two clients (neither costs an attempt); pauses after an
  // attempt that found nobody serving the name, of which three are allowed.
  bool WaitForNextAttempt(ConnectAttempts* attempts, base::TimeTicks deadline);

  // The 200 ms after a failed attempt, cut short when the server's pipe appears (a server
  // that was restarting its pipe between two clients); false when aborted.
  bool PauseUntilServerAppears(ConnectAttempts* attempts);

  bool OpenWorker(int server_id);

  // Makes |client| the channel an Abort interrupts; false once aborted.
  bool Connecting(IPC_ChannelClient* client);

  scoped_refptr<IPC_ChannelClient> m_WorkerClient;
  bool m_bInited;
  std::atomic<bool> m_bServerLost;  // set on "IOThread" with the status 2 report
  scoped_refptr<IPC_HostWeakPtr<IPC_HostClient>> m_pWeakThis;

  base::Lock m_AbortLock;
  bool m_bAborted;                              // guarded by m_AbortLock
  scoped_refptr<IPC_ChannelClient> m_pConnecting;  // guarded by m_AbortLock
  base::WaitableEvent m_AbortEvent;             // wakes the pause between attempts
};

#endif  // IPC_HOST_IPC_HOSTCLIENT_H_
