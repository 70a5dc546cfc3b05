// The client host's rendezvous, worker channel, sends and deliveries.
#include "Host/IPC_HostClient.h"

#include <algorithm>
#include <map>
#include <memory>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "Filter/IPC_MsgFilterRouteMsg.h"
#include "ipc/ipc_channel.h"

namespace {

// Attempts that found nobody serving the name, and the pause after each.
const int kMaxFailedAttempts = 3;
const int kFailedAttemptPauseMs = 200;

// The pause before looking again for a server that was seen serving the name and has
// closed its pipe for a moment, as it does between two clients.
const int kServerRestartPauseMs = 20;

// How often a client that found nobody serving the name looks again while it pauses. A busy
// server reopens its pipe between two clients only after its IO thread closed the old one, so
// under load the name may be missing most of the time and present for a few milliseconds.
const int kAbsentServerPollMs = 2;

// The longest single wait for a busy server pipe. A server that cuts off a silent holder
// reopens its pipe as a new one, which a wait begun on the old one may never see (Wine wakes
// no waiter of a pipe that was closed), so the client looks again after each slice.
const int64_t kBusyWaitSliceMs = 250;

// A server's rendezvous admits one client at a time, so the connects of one process to one
// name would only race each other for it, and the unlucky ones could lose every race until
// their budget ran out. They take turns instead; connects to other names go on meanwhile.
class ConnectTurn {
 public:
  explicit ConnectTurn(const std::string& server_name) : m_strName(server_name), m_bTaken(false) {
    base::AutoLock lock(g_turns.Get().lock);
    Turn& turn = g_turns.Get().by_name[m_strName];
    if (!turn.free)
      turn.free.reset(new base::WaitableEvent(false, true));
    ++turn.users;
    m_pFree = turn.free;
  }

  // Gives the turn back, and forgets the name once nobody waits for it.
  ~ConnectTurn() {
    if (m_bTaken)
      m_pFree->Signal();
    base::AutoLock lock(g_turns.Get().lock);
    auto turn = g_turns.Get().by_name.find(m_strName);
    if (--turn->second.users == 0)
      g_turns.Get().by_name.erase(turn);
  }

  // Waits for the turn until |deadline|; false when it did not come.
  bool Take(base::TimeTicks deadline) {
    m_bTaken = m_pFree->TimedWait(deadline - base::TimeTicks::Now());
    return m_bTaken;
  }

 private:
  struct Turn {
    std::shared_ptr<base::WaitableEvent> free;  // auto-reset: one holder at a time
    int users = 0;                              // connects holding or waiting for it
  };
  struct Turns {
    base::Lock lock;
    std::map<std::string, Turn> by_name;  // guarded by lock
  };
  static base::LazyInstance<Turns>::Leaky g_turns;

  const std::string m_strName;
  std::shared_ptr<base::WaitableEvent> m_pFree;
  bool m_bTaken;

  ConnectTurn(const ConnectTurn&) = delete;
  ConnectTurn& operator=(const ConnectTurn&) = delete;
};

base::LazyInstance<ConnectTurn::Turns>::Leaky ConnectTurn::g_turns = LAZY_INSTANCE_INITIALIZER;

}  // namespace

IPC_HostClient::IPC_HostClient(int mode, const std::string& name)
    : IPC_Host(mode, name),
      m_bInited(false),
      m_bServerLost(false),
      m_pWeakThis(new IPC_HostWeakPtr<IPC_HostClient>(this)) {}

IPC_HostClient::~IPC_HostClient() {
  DetachFromChannels();
}

void IPC_HostClient::DetachFromChannels() {
  m_pWeakThis->Detach();
}

bool IPC_HostClient::Init(IPC_ThreadEnviroment* environment) {
  const base::TimeTicks start = base::TimeTicks::Now();
  const base::TimeTicks deadline = start + base::TimeDelta::FromMilliseconds(kConnectTimeoutMs);
  const std::string server_name = m_strName;
  ConnectAttempts attempts;
  int server_id = -1;
  std::string worker_name;
  const bool reached = Rendezvous(environment, deadline, &attempts, &server_id, &worker_name);
  // A server reached once gets no second attempt, whatever it answers.
  if (!worker_name.empty())
    OpenWorker(environment, worker_name, server_id, deadline);
  LogOutcome(server_name, attempts, reached, start);
  return m_bInited;
}

void IPC_HostClient::Close(base::TimeTicks write_deadline,
                           const scoped_refptr<IPC_CloseTally>& tally) {
  DetachFromChannels();
  if (!m_bInited)
    return;
  m_bInited = false;
  m_WorkerClient->CloseAfterWriting(write_deadline, tally);
}

void IPC_HostClient::Send(int target_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) {
  if (target_id == m_iCommunicationId || !m_WorkerClient)
    return;
  IPC_RoutingData data(buffer->data(), buffer->size(), tag);
  m_WorkerClient->Send(
      make_scoped_ptr<IPC::Message>(new ChannelMsg_RoutingMessage(target_id, data)));
}

void IPC_HostClient::OnChannelStatus_MsgFilter(int id, int process_id, int status) {
  if (status != IPC_ChannelListener::kConnected)
    m_bServerLost = true;
  OnStatus(status, id, process_id);
}

void IPC_HostClient::OnRoutingMessage_MsgFilter(int source_id, const IPC_RoutingData& data) {
  scoped_refptr<IPC_MsgBuf> buffer(
      new IPC_MsgBuf(data.data.empty() ? nullptr : &data.data[0], data.data.size()));
  OnMsg(source_id, buffer, data.tag);
}

bool IPC_HostClient::Rendezvous(IPC_ThreadEnviroment* environment,
                                base::TimeTicks deadline,
                                ConnectAttempts* attempts,
                                int* server_id,
                                std::string* worker_name) {
  ConnectTurn turn(m_strName);
  attempts->had_turn = turn.Take(deadline);
  if (!attempts->had_turn)
    return false;
  while (!TryRendezvous(environment, deadline, attempts, server_id, worker_name)) {
    if (!WaitForNextAttempt(attempts, deadline))
      return false;
  }
  return true;
}

bool IPC_HostClient::TryRendezvous(IPC_ThreadEnviroment* environment,
                                   base::TimeTicks deadline,
                                   ConnectAttempts* attempts,
                                   int* server_id,
                                   std::string* worker_name) {
  ++attempts->made;
  if (IPC::Channel::WaitForNamedServer(m_strName, IPC_ChannelClient::kGlanceMs) !=
      IPC::Channel::SERVER_AVAILABLE)
    return false;
  scoped_refptr<IPC_ChannelClient> rendezvous(new IPC_ChannelClient);
  const bool reached = rendezvous->Init(environment, m_strName, nullptr, deadline);
  if (reached) {
    *server_id = rendezvous->channel_id();
    rendezvous->Request(
        make_scoped_ptr<IPC::Message>(new ChannelMsg_ClientHostRequestService(worker_name)),
        deadline);
  }
  rendezvous->Close();
  return reached;
}

void IPC_HostClient::LogOutcome(const std::string& server_name,
                                const ConnectAttempts& attempts,
                                bool reached,
                                base::TimeTicks start) const {
  const int64_t elapsed_ms = (base::TimeTicks::Now() - start).InMilliseconds();
  if (m_bInited) {
    // A connect at the first attempt is the quiet common case; one that had to wait says so.
    if (attempts.made > 1)
      LOG(INFO) << "connected to \"" << server_name << "\" as " << m_iCommunicationId
                << " after " << attempts.made << " attempt(s), " << elapsed_ms << " ms";
    return;
  }
  const char* outcome = !attempts.had_turn ? "this process's other connects to it took the time"
                        : !reached ? (attempts.server_seen ? "the server stayed busy or away"
                                                           : "nobody serves the name")
                                   : "the server gave no worker channel, or it failed";
  LOG(WARNING) << "cannot connect to \"" << server_name << "\": " << outcome << "; "
               << attempts.made << " attempt(s), " << elapsed_ms << " ms";
}

bool IPC_HostClient::WaitForNextAttempt(ConnectAttempts* attempts, base::TimeTicks deadline) {
  IPC::Channel::ServerState state =
      IPC::Channel::WaitForNamedServer(m_strName, IPC_ChannelClient::kGlanceMs);
  if (state == IPC::Channel::SERVER_BUSY) {
    // Another client holds the server's only pipe instance: wait for our turn.
    attempts->server_seen = true;
    const int64_t remaining_ms = (deadline - base::TimeTicks::Now()).InMilliseconds();
    if (remaining_ms <= 0)
      return false;
    state = IPC::Channel::WaitForNamedServer(
        m_strName, static_cast<int>(std::min(remaining_ms, kBusyWaitSliceMs)));
    if (state != IPC::Channel::SERVER_ABSENT)
      return base::TimeTicks::Now() < deadline;
  }
  if (attempts->server_seen) {
    // Seen serving the name, so gone between two clients: look again shortly, at no
    // attempt's cost.
    base::PlatformThread::Sleep(kServerRestartPauseMs);
    return base::TimeTicks::Now() < deadline;
  }
  ++attempts->failed;
  PauseUntilServerAppears(attempts);
  return (attempts->server_seen || attempts->failed < kMaxFailedAttempts) &&
         base::TimeTicks::Now() < deadline;
}

void IPC_HostClient::PauseUntilServerAppears(ConnectAttempts* attempts) {
  const base::TimeTicks end =
      base::TimeTicks::Now() + base::TimeDelta::FromMilliseconds(kFailedAttemptPauseMs);
  for (;;) {
    const int64_t left_ms = (end - base::TimeTicks::Now()).InMilliseconds();
    if (left_ms <= 0)
      return;
    base::PlatformThread::Sleep(static_cast<int>(std::min<int64_t>(left_ms, kAbsentServerPollMs)));
    if (IPC::Channel::WaitForNamedServer(m_strName, IPC_ChannelClient::kGlanceMs) !=
        IPC::Channel::SERVER_ABSENT) {
      attempts->server_seen = true;
      return;
    }
  }
}

bool IPC_HostClient::OpenWorker(IPC_ThreadEnviroment* environment,
                                const std::string& worker_name,
                                int server_id,
                                base::TimeTicks deadline) {
  scoped_refptr<IPC_ChannelClient> worker(new IPC_ChannelClient);
  // In place before the handshake: a server may speak as soon as it sees the client.
  if (!worker->Init(environment, worker_name,
                    new IPC_MsgFilterRouteMsgClient(server_id, m_pWeakThis.get()), deadline)) {
    worker->Close();
    return false;
  }
  m_WorkerClient = worker;
  m_strName = worker_name;
  m_iCommunicationId = worker->channel_id();
  m_bInited = true;
  return true;
}
