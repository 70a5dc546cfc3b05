// Rendezvous, worker hand-out, status, routing and clean-up of the server host.
#include "Host/IPC_HostServer.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "Channel/IPC_CloseTally.h"
#include "Filter/IPC_MsgFilterRequestService.h"
#include "Filter/IPC_MsgFilterRouteMsg.h"
#include "Host/IPC_FaultGuard.h"
#include "Host/IPC_HostClient.h"
#include "Host/IPC_Trace.h"
#include "Thread/IPC_ThreadEnviroment.h"

namespace {

// How long a failed worker stays in the map, so late messages to it are still dropped
// quietly rather than racing its close.
const int64_t kWorkerCloseDelayMs = 1000;

// A client connects to its worker within its own connect budget, which began before it asked
// for the worker; a worker not connected by then has no client coming (it died between the
// hand-out and its connect, or never meant to come) and would hold its pipe for ever.
const int64_t kWorkerConnectDeadlineMs = IPC_HostClient::kConnectTimeoutMs;

// A client host sends its hello and both requests within milliseconds of opening the
// rendezvous, then leaves. A connection still there after this long is a process that holds
// the server's only rendezvous instance and says nothing (hung, or hostile); it is closed so
// that the name is served again. Clients arriving meanwhile wait for the pipe.
const int64_t kRendezvousDeadlineMs = 2000;

// How often a server tries again to reopen a rendezvous whose name another process took in
// the moment it was closed: often enough to serve again soon after that process lets go.
const int64_t kRendezvousRetryMs = 500;

// "[IPC_HostServer][CloseChannelWorker]IPC强制退出" and a line feed.
const wchar_t kWorkerCloseFaultMessage[] =
    L"[IPC_HostServer][CloseChannelWorker]IPC\u5F3A\u5236\u9000\u51FA\n";

}  // namespace

IPC_HostServer::IPC_HostServer(const std::string& name)
    : IPC_Host(IPC_MODE_SERVER, name),
      m_pMainService(new IPC_ChannelService),
      m_pWeakThis(new IPC_HostWeakPtr<IPC_HostServer>(this)),
      m_bClosed(false),
      m_iRendezvousGeneration(0),
      m_bReopenFailureLogged(false) {}

IPC_HostServer::~IPC_HostServer() {
  DetachFromChannels();
}

void IPC_HostServer::DetachFromChannels() {
  m_pWeakThis->Detach();
}

bool IPC_HostServer::Init() {
  if (!OpenMainService())
    return false;
  m_iCommunicationId = m_pMainService->channel_id();
  CreateChannelWorker();
  return true;
}

bool IPC_HostServer::OpenMainService() {
  if (!m_pMainService->Init(m_strName))
    return false;
  m_pMainService->AddFilter(
      new IPC_MsgFilterRequestService(m_pWeakThis.get(), m_iRendezvousGeneration));
  return true;
}

void IPC_HostServer::Close(base::TimeTicks write_deadline,
                           const scoped_refptr<IPC_CloseTally>& tally) {
  m_bClosed = true;
  DetachFromChannels();
  // Every worker writes what it was sent meanwhile, all of them within the one deadline.
  for (auto& worker : m_ChannelWorkerMap) {
    if (!worker.second->CloseAfterWriting(write_deadline, tally->Expect()))
      tally->Forget();
  }
  {
    base::AutoLock lock(m_PendingLock);
    m_PendingWorkers.clear();
  }
  // The name is free once |tally| is done, so that this process can serve it again at once.
  if (!m_pMainService->CloseAfterWriting(write_deadline, tally->ExpectCloseOnly()))
    tally->Forget();
}

void IPC_HostServer::Send(int target_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) {
  if (target_id == m_iCommunicationId)
    return;
  IPC_RoutingData data(buffer->data(), buffer->size(), tag);
  const ChannelMsg_RoutingMessage message(m_iCommunicationId, data);
  ForwardToWorkers(m_iCommunicationId, target_id, message);
}

std::string IPC_HostServer::OnRequestService_MsgFilter() {
  scoped_refptr<IPC_ChannelService> worker;
  {
    base::AutoLock lock(m_PendingLock);
    if (m_PendingWorkers.empty())
      return std::string();
    worker = m_PendingWorkers.front();
    m_PendingWorkers.pop_front();
  }
  IPC_ThreadEnviroment::PostTask(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnRequestService_MsgFilter"),
      base::Bind(&IPC_HostServer::AddChannelWorker, this, worker));
  return worker->name();
}

void IPC_HostServer::OnHostChannelError_MsgFilter(int generation) {
  IPC_ThreadEnviroment::PostTask(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnHostChannelError_MsgFilter"),
      base::Bind(&IPC_HostServer::ReplaceFailedMainService, this, generation));
}

void IPC_HostServer::OnRendezvousAccepted_MsgFilter(int generation) {
  // A client that is done has left by then, and the rendezvous has been reopened since.
  IPC_ThreadEnviroment::PostDelayedTask(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnRendezvousAccepted_MsgFilter"),
      base::Bind(&IPC_HostServer::RestartMainService, this, generation), kRendezvousDeadlineMs);
}

void IPC_HostServer::OnWorkerAccepted_MsgFilter(int channel_id) {
  scoped_refptr<IPC_ChannelService> stale = TakePendingWorker(channel_id);
  if (!stale)
    return;
  IPC_ThreadEnviroment::PostTask(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnWorkerAccepted_MsgFilter"),
      base::Bind(&IPC_HostServer::ReplaceWorker, this, stale));
}

void IPC_HostServer::OnWorkerFailedUnconnected_MsgFilter(int channel_id) {
  if (IsQuiet())
    return;
  if (scoped_refptr<IPC_ChannelService> stale = TakePendingWorker(channel_id)) {
    IPC_ThreadEnviroment::PostTask(
        IPC_THREAD_MAIN,
        FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnWorkerFailedUnconnected_MsgFilter"),
        base::Bind(&IPC_HostServer::ReplaceWorker, this, stale));
    return;
  }
  IPC_ThreadEnviroment::PostTask(
      IPC_THREAD_MAIN,
      FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnWorkerFailedUnconnected_MsgFilter"),
      base::Bind(&IPC_HostServer::CloseWorkerIfUnconnected, this, channel_id));
}

void IPC_HostServer::OnChannelStatus_MsgFilter(int channel_id, int process_id, int status) {
  if (IsQuiet())
    return;
  if (status == IPC_ChannelListener::kConnected) {
    IPC_ThreadEnviroment::PostTask(
        IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnChannelStatus_MsgFilter"),
        base::Bind(&IPC_HostServer::MarkWorkerConnected, this, channel_id));
  } else {
    IPC_ThreadEnviroment::PostDelayedTask(
        IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnChannelStatus_MsgFilter"),
        base::Bind(&IPC_HostServer::CloseChannelWorker, this, channel_id), kWorkerCloseDelayMs);
  }
  OnStatus(status, channel_id, process_id);
}

void IPC_HostServer::OnRoutingMessage_MsgFilter(int source_id,
                                                int target_id,
                                                const IPC_RoutingData& data) {
  if (data.data.empty())
    return;
  if (target_id == IPC_TARGET_SERVER || target_id == m_iCommunicationId) {
    OnMsg(source_id, new IPC_MsgBuf(&data.data[0], data.data.size()), data.tag);
    return;
  }
  IPC_ThreadEnviroment::PostTask(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::OnRoutingMessage_MsgFilter"),
      base::Bind(&IPC_HostServer::ForwardOwnedToWorkers, this, source_id, target_id,
                 base::Passed(make_scoped_ptr<IPC::Message>(
                     new ChannelMsg_RoutingMessage(source_id, data)))));
}

void IPC_HostServer::CreateChannelWorker() {
  if (m_bClosed)
    return;
  scoped_refptr<IPC_ChannelService> worker(new IPC_ChannelService);
  if (!worker->Init(std::string()))
    return;
  worker->AddFilter(new IPC_MsgFilterRouteMsgServer(worker->channel_id(), m_pWeakThis.get()));
  base::AutoLock lock(m_PendingLock);
  m_PendingWorkers.push_back(worker);
}

void IPC_HostServer::AddChannelWorker(scoped_refptr<IPC_ChannelService> worker) {
  if (m_bClosed) {
    worker->Close();
    return;
  }
  const int channel_id = worker->channel_id();
  m_ChannelWorkerMap.insert(std::make_pair(channel_id, worker));
  m_UnconnectedWorkers.insert(channel_id);
  IPC_ThreadEnviroment::PostDelayedTask(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::AddChannelWorker"),
      base::Bind(&IPC_HostServer::CloseWorkerIfUnconnected, this, channel_id),
      kWorkerConnectDeadlineMs);
  CreateChannelWorker();
}

scoped_refptr<IPC_ChannelService> IPC_HostServer::TakePendingWorker(int channel_id) {
  base::AutoLock lock(m_PendingLock);
  for (auto worker = m_PendingWorkers.begin(); worker != m_PendingWorkers.end(); ++worker) {
    if ((*worker)->channel_id() == channel_id) {
      scoped_refptr<IPC_ChannelService> taken = *worker;
      m_PendingWorkers.erase(worker);
      return taken;
    }
  }
  return nullptr;
}

void IPC_HostServer::ReplaceWorker(scoped_refptr<IPC_ChannelService> stale) {
  stale->Close();
  CreateChannelWorker();
}

void IPC_HostServer::MarkWorkerConnected(int channel_id) {
  m_UnconnectedWorkers.erase(channel_id);
}

void IPC_HostServer::CloseWorkerIfUnconnected(int channel_id) {
  if (m_UnconnectedWorkers.count(channel_id))
    CloseChannelWorker(channel_id);
}

bool IPC_HostServer::BeginRestart(int generation) {
  if (m_bClosed || generation != m_iRendezvousGeneration)
    return false;
  ++m_iRendezvousGeneration;
  return true;
}

void IPC_HostServer::ReplaceFailedMainService(int generation) {
  if (!BeginRestart(generation))
    return;
  // A failed channel closes its pipe on "IOThread" before it reports, so the name is free
  // now: waiting for the close to be confirmed there as well would leave the name unserved
  // for longer, and clients that find nobody serving it soon give up. Should the pipe still
  // be open, the reopening's retries serve the name once the close is done.
  m_pMainService->Close();
  ReopenMainService();
}

void IPC_HostServer::RestartMainService(int generation) {
  if (!BeginRestart(generation))
    return;
  // The old pipe must be gone before its name can be served again.
  m_pMainService->CloseAndWait();
  ReopenMainService();
}

void IPC_HostServer::ReopenMainService() {
  if (m_bClosed)
    return;
  if (OpenMainService()) {
    LOG_IF(INFO, m_bReopenFailureLogged) << "Serving \"" << m_strName << "\" again";
    m_bReopenFailureLogged = false;
    return;
  }
  LOG_IF(WARNING, !m_bReopenFailureLogged)
      << "Cannot serve \"" << m_strName << "\" again: another process holds its pipe; "
      << "trying every " << kRendezvousRetryMs << " ms";
  m_bReopenFailureLogged = true;
  IPC_ThreadEnviroment::PostDelayedTask(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostServer::ReopenMainService"),
      base::Bind(&IPC_HostServer::ReopenMainService, this), kRendezvousRetryMs);
}

void IPC_HostServer::CloseChannelWorker(int channel_id) {
  if (IsQuiet())
    return;
  IPC_RunOrTerminate(base::Bind(&IPC_HostServer::CloseChannelWorkerTemp, this, channel_id),
                     kWorkerCloseFaultMessage);
}

void IPC_HostServer::CloseChannelWorkerTemp(int channel_id) {
  auto worker = m_ChannelWorkerMap.find(channel_id);
  if (worker == m_ChannelWorkerMap.end())
    return;
  worker->second->Close();
  m_ChannelWorkerMap.erase(worker);
  m_UnconnectedWorkers.erase(channel_id);
  IPC_TRACE(L"m_ChannelWorkerMap.size:%d\n", static_cast<int>(m_ChannelWorkerMap.size()));
}

void IPC_HostServer::ForwardToWorkers(int source_id,
                                      int target_id,
                                      const IPC::Message& message) {
  if (target_id == IPC_TARGET_ALL) {
    for (auto& worker : m_ChannelWorkerMap) {
      if (worker.first != source_id)
        worker.second->Send(make_scoped_ptr(new IPC::Message(message)));
    }
    return;
  }
  auto worker = m_ChannelWorkerMap.find(target_id);
  if (worker != m_ChannelWorkerMap.end())
    worker->second->Send(make_scoped_ptr(new IPC::Message(message)));
}

void IPC_HostServer::ForwardOwnedToWorkers(int source_id,
                                           int target_id,
                                           scoped_ptr<IPC::Message> message) {
  ForwardToWorkers(source_id, target_id, *message);
}
