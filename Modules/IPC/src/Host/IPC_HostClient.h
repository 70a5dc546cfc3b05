// A client host: connects to a server by name through its rendezvous channel, then talks to
// it over a private worker channel.
#ifndef IPC_HOST_IPC_HOSTCLIENT_H_
#define IPC_HOST_IPC_HOSTCLIENT_H_

#include <atomic>
#include <string>

#include "base/time.h"
#include "Channel/IPC_ChannelClient.h"
#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_Host.h"
#include "Host/IPC_HostWeakPtr.h"

class IPC_ThreadEnviroment;

// Init runs on the thread of the application's IPC_Connect and blocks only that thread:
// the channels are made and closed on "MainThread", and the waits for the server happen
// on the connecting thread, so that a connect to a busy, slow or frozen server holds up no
// other host of the process. The process's connects to one name take turns at its
// rendezvous. Close and Send run on "MainThread"; the routing filter calls the _MsgFilter
// entry points on "IOThread". A broken worker channel is reported once (status 2) and the
// host then drops every send; it never reconnects.
class IPC_HostClient : public IPC_Host {
 public:
  // How long a connect may take, from its start to a registered host.
  static const int kConnectTimeoutMs = 10000;

  IPC_HostClient(int mode, const std::string& name);

  // Reaches the server through its rendezvous and opens the worker channel it hands out;
  // false, with nothing left open, when the server cannot be reached in time.
  bool Init(IPC_ThreadEnviroment* environment);
  void Close(base::TimeTicks write_deadline,
             const scoped_refptr<IPC_CloseTally>& tally) override;
  void DetachFromChannels() override;
  void Send(int target_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) override;
  bool HasLostPeer() const override { return m_bServerLost; }

  void OnChannelStatus_MsgFilter(int id, int process_id, int status);
  void OnRoutingMessage_MsgFilter(int source_id, const IPC_RoutingData& data);

 private:
  ~IPC_HostClient() override;

  // The rendezvous attempts of one connect.
  struct ConnectAttempts {
    bool had_turn = false;     // the process's other connects to the name let it try
    int made = 0;
    int failed = 0;            // found nobody serving the name
    bool server_seen = false;  // the server's pipe was seen busy with another client
  };

  // The rendezvous, once the process's other connects to the name are done with it: attempts
  // until one reaches the server (true, with TryRendezvous's results) or none fits any more.
  bool Rendezvous(IPC_ThreadEnviroment* environment,
                  base::TimeTicks deadline,
                  ConnectAttempts* attempts,
                  int* server_id,
                  std::string* worker_name);

  // One rendezvous attempt; true when it reached the server, whose id it stores, and then
  // the name of the worker channel handed out, or an empty name. A glance on this thread
  // first spares "MainThread" the channel's open while the pipe is plainly busy or missing;
  // the open looks again right before it opens the pipe.
  bool TryRendezvous(IPC_ThreadEnviroment* environment,
                     base::TimeTicks deadline,
                     ConnectAttempts* attempts,
                     int* server_id,
                     std::string* worker_name);

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
  // that was restarting its pipe between two clients).
  void PauseUntilServerAppears(ConnectAttempts* attempts);

  bool OpenWorker(IPC_ThreadEnviroment* environment,
                  const std::string& worker_name,
                  int server_id,
                  base::TimeTicks deadline);

  scoped_refptr<IPC_ChannelClient> m_WorkerClient;
  bool m_bInited;
  std::atomic<bool> m_bServerLost;  // set on "IOThread" with the status 2 report
  scoped_refptr<IPC_HostWeakPtr<IPC_HostClient>> m_pWeakThis;
};

#endif  // IPC_HOST_IPC_HOSTCLIENT_H_
