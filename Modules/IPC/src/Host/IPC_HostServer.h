// The server host, the broker proper: serves a rendezvous channel under its name, hands each
// client a private worker channel, and routes messages by communication id.
#ifndef IPC_HOST_IPC_HOSTSERVER_H_
#define IPC_HOST_IPC_HOSTSERVER_H_

#include <list>
#include <map>
#include <set>
#include <string>

#include "base/synchronization/lock.h"
#include "Channel/IPC_ChannelMsg.h"
#include "Channel/IPC_ChannelService.h"
#include "Host/IPC_Host.h"
#include "Host/IPC_HostWeakPtr.h"

// Init, Close, Send and every posted task run on "MainThread", which alone touches the
// worker map; the _MsgFilter entry points run on "IOThread" and reach the main thread by
// posting, except the worker hand-out, which takes m_PendingLock (the server's only lock,
// held for list operations only).
class IPC_HostServer : public IPC_Host {
 public:
  explicit IPC_HostServer(const std::string& name);

  bool Init();
  void Close(base::TimeTicks write_deadline,
             const scoped_refptr<IPC_CloseTally>& tally) override;
  void DetachFromChannels() override;
  void Send(int target_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) override;

  // The prepared worker's name, now handed to a client; empty when none is prepared.
  std::string OnRequestService_MsgFilter();
  // The rendezvous opened as |generation| lost its client, or got one.
  void OnHostChannelError_MsgFilter(int generation);
  void OnRendezvousAccepted_MsgFilter(int generation);
  // Someone opened a worker's pipe. Only the client it is handed to knows its name, so a
  // worker that has not been handed out was found by a stranger and is replaced.
  void OnWorkerAccepted_MsgFilter(int channel_id);
  // A worker's channel failed before any client connected to it: nobody is told.
  void OnWorkerFailedUnconnected_MsgFilter(int channel_id);
  void OnChannelStatus_MsgFilter(int channel_id, int process_id, int status);
  void OnRoutingMessage_MsgFilter(int source_id, int target_id, const IPC_RoutingData& data);

 private:
  ~IPC_HostServer() override;

  bool OpenMainService();
  void CreateChannelWorker();
  void AddChannelWorker(scoped_refptr<IPC_ChannelService> worker);
  // Under m_PendingLock; null when |channel_id| is not a prepared worker.
  scoped_refptr<IPC_ChannelService> TakePendingWorker(int channel_id);
  void ReplaceWorker(scoped_refptr<IPC_ChannelService> stale);
  void MarkWorkerConnected(int channel_id);
  void CloseWorkerIfUnconnected(int channel_id);
  // Both reopen the rendezvous unless it was reopened since |generation| or the server
  // closed: one that failed, and one whose connection is still open.
  void ReplaceFailedMainService(int generation);
  void RestartMainService(int generation);
  bool BeginRestart(int generation);
  void ReopenMainService();
  void CloseChannelWorker(int channel_id);
  void CloseChannelWorkerTemp(int channel_id);
  // Sends a copy of |message| to the worker |target_id|, or to every worker but |source_id|.
  void ForwardToWorkers(int source_id, int target_id, const IPC::Message& message);
  // The task form, which owns the message it carries from "IOThread".
  void ForwardOwnedToWorkers(int source_id, int target_id, scoped_ptr<IPC::Message> message);

  scoped_refptr<IPC_ChannelService> m_pMainService;
  std::list<scoped_refptr<IPC_ChannelService>> m_PendingWorkers;  // guarded by m_PendingLock
  base::Lock m_PendingLock;
  std::map<int, scoped_refptr<IPC_ChannelService>> m_ChannelWorkerMap;  // "MainThread" only
  std::set<int> m_UnconnectedWorkers;  // handed out, not connected yet; "MainThread" only
  scoped_refptr<IPC_HostWeakPtr<IPC_HostServer>> m_pWeakThis;
  bool m_bClosed;                  // "MainThread" only: queued tasks then open nothing
  int m_iRendezvousGeneration;     // "MainThread" only; counts the rendezvous' reopenings
  bool m_bReopenFailureLogged;     // "MainThread" only
};

#endif  // IPC_HOST_IPC_HOSTSERVER_H_
