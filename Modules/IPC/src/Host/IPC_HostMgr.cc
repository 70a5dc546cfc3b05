// Host creation, destruction, lookup and the operations applied to every host.
#include "Host/IPC_HostMgr.h"

#include <algorithm>

#include "base/bind.h"
#include "base/location.h"
#include "Host/IPC_HostClient.h"
#include "Host/IPC_HostServer.h"

namespace {

const int64_t kServerCreateTimeoutMs = -1;

// The threads in the order they stop.
const int kStopOrder[] = {IPC_THREAD_EVENT, IPC_THREAD_MAIN, IPC_THREAD_IO};

int64_t MsUntil(base::TimeTicks deadline) {
  return std::max<int64_t>((deadline - base::TimeTicks::Now()).InMilliseconds(), 0);
}

void Nothing() {}

}  // namespace

// Where the creation task leaves its host. Shared by the waiter and the task, so a task that
// finishes after its waiter gave up finds it still there, marked abandoned.
class IPC_HostMgr::CreationSlot : public base::RefCountedThreadSafe<CreationSlot> {
 public:
  CreationSlot() : m_pResult(nullptr), m_bAbandoned(false) {}

  // The task starts on |host|; false when the waiter gave up already.
  bool Begin(IPC_Host* host) {
    base::AutoLock lock(m_Lock);
    m_pCreating = host;
    return !m_bAbandoned;
  }

  // The task's outcome, taken by the waiter: |register_host| registers the host and answers
  // what the waiter gets. False, with nothing registered, when the waiter gave up.
  template <class Registrar>
  bool Finish(Registrar register_host) {
    base::AutoLock lock(m_Lock);
    m_pCreating = nullptr;
    if (m_bAbandoned)
      return false;
    m_pResult = register_host();
    return true;
  }

  // The waiter gives up: the host if it is registered already, else null; a connect still
  // running is interrupted.
  IPC_Host* Abandon() {
    base::AutoLock lock(m_Lock);
    if (m_pResult)
      return m_pResult;
    m_bAbandoned = true;
    if (m_pCreating)
      m_pCreating->Abort();
    return nullptr;
  }

  IPC_Host* result() {
    base::AutoLock lock(m_Lock);
    return m_pResult;
  }

 private:
  friend class base::RefCountedThreadSafe<CreationSlot>;
  ~CreationSlot() {}

  base::Lock m_Lock;
  IPC_Host* m_pResult;                     // guarded by m_Lock; owned by the map
  scoped_refptr<IPC_Host> m_pCreating;     // guarded by m_Lock
  bool m_bAbandoned;                       // guarded by m_Lock
};

IPC_HostMgr::IPC_HostMgr(IPC_ThreadEnviroment* environment)
    : m_pEnvironment(environment), m_iInFlight(0), m_bThreadsUp(false) {}

IPC_HostMgr::~IPC_HostMgr() {
  for (auto& host : m_HostMap)
    host.second->DetachFromChannels();
}

scoped_refptr<IPC_Host> IPC_HostMgr::FindHost(const std::string& name) {
  base::AutoLock lock(m_Lock);
  auto host = m_HostMap.find(name);
  return host == m_HostMap.end() ? nullptr : host->second;
}

bool IPC_HostMgr::IsValidHost(const void* handle) {
  return GetHost(handle) != nullptr;
}

size_t IPC_HostMgr::GetHostCount() {
  base::AutoLock lock(m_Lock);
  return m_HostMap.size();
}

scoped_refptr<IPC_Host> IPC_HostMgr::GetHost(const void* handle) {
  if (!handle)
    return nullptr;
  base::AutoLock lock(m_Lock);
  for (auto& host : m_HostMap) {
    if (host.second.get() == handle)
      return host.second;
  }
  return nullptr;
}

IPC_Host* IPC_HostMgr::Connect(Mode mode, const std::string& name) {
  {
    base::AutoLock lock(m_LifeLock);
    if (!m_pEnvironment->Start())
      return nullptr;
    m_bThreadsUp = true;
    ++m_iInFlight;
  }
  IPC_Host* host = CreateHost(mode, name);
  CountInFlight(-1);
  return host;
}

void IPC_HostMgr::CountInFlight(int change) {
  base::AutoLock lock(m_LifeLock);
  m_iInFlight += change;
}

bool IPC_HostMgr::ShutDown(const void* handle) {
  const base::TimeTicks deadline =
      base::TimeTicks::Now() + base::TimeDelta::FromMilliseconds(kShutDownBudgetMs);
  // Counted before it leaves the map, so that another thread's last shutdown does not stop
  // the threads this one's close still runs on.
  CountInFlight(1);
  scoped_refptr<IPC_Host> host = Unregister(handle);
  const bool destroyed = host && DestroyHost(host, deadline);
  CountInFlight(-1);
  if (!host)
    return false;
  return StopThreadsIfUnused(deadline) && destroyed;
}

IPC_Host* IPC_HostMgr::CreateHost(Mode mode, const std::string& name) {
  if (scoped_refptr<IPC_Host> host = FindHost(name))
    return (host->mode() & mode) ? host.get() : nullptr;
  scoped_refptr<CreationSlot> slot(new CreationSlot);
  const int64_t timeout_ms =
      mode == IPC_MODE_SERVER ? kServerCreateTimeoutMs : IPC_HostClient::kConnectTimeoutMs;
  if (!m_pEnvironment->PostTaskAndWait(
          IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostMgr::CreateHost"),
          base::Bind(&IPC_HostMgr::CreateHostTask, this, static_cast<int>(mode), name, slot),
          timeout_ms))
    return slot->Abandon();
  return slot->result();
}

bool IPC_HostMgr::DestroyHost(scoped_refptr<IPC_Host> host, base::TimeTicks deadline) {
  const base::TimeTicks write_deadline =
      deadline - base::TimeDelta::FromMilliseconds(kShutDownBudgetMs - kShutDownWritingMs);
  scoped_refptr<IPC_CloseTally> tally(new IPC_CloseTally);
  // After the sends queued before it on "MainThread", so they are written first.
  const bool closed =
      m_pEnvironment->PostTaskAndWait(
          IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostMgr::DestroyHost"),
          base::Bind(&IPC_Host::Close, host, write_deadline, tally), MsUntil(deadline)) &&
      tally->Wait(write_deadline);
  // Callbacks already queued for the host run before this, later ones find no callbacks.
  const bool quiet = m_pEnvironment->PostTaskAndWait(
      IPC_THREAD_EVENT, FROM_HERE_WITH_FUNCTION("IPC_HostMgr::DestroyHost"),
      base::Bind(&IPC_Host::DropCallbacks, host), MsUntil(deadline));
  return closed && quiet;
}

bool IPC_HostMgr::StopThreadsIfUnused(base::TimeTicks deadline) {
  base::AutoLock lock(m_LifeLock);
  if (!m_bThreadsUp || m_iInFlight > 0 || GetHostCount() > 0)
    return true;
  // A thread still busy (a callback that has not returned) could not be joined in time.
  for (int thread_id : kStopOrder) {
    if (!m_pEnvironment->PostTaskAndWait(thread_id,
                                         FROM_HERE_WITH_FUNCTION("IPC_HostMgr::ShutDown"),
                                         base::Bind(&Nothing), MsUntil(deadline)))
      return false;
  }
  m_pEnvironment->Stop();
  m_bThreadsUp = false;
  return true;
}

void IPC_HostMgr::RegisterStatusCallback(IPC_StatusFunc callback, void* user) {
  for (auto& host : CopyHostMap())
    host.second->AddStatus(callback, user);
}

void IPC_HostMgr::RemoveListenerFromAll(IPC_ListenerFunc listener) {
  for (auto& host : CopyHostMap())
    host.second->RemoveListener(listener);
}

void IPC_HostMgr::RemoveStatusFromAll(IPC_StatusFunc callback) {
  for (auto& host : CopyHostMap())
    host.second->RemoveStatus(callback);
}

void IPC_HostMgr::SendToHosts(int target_id, scoped_refptr<IPC_MsgBuf> buffer) {
  for (auto& host : CopyHostMap()) {
    const int mode = host.second->mode();
    const bool sends = target_id == IPC_TARGET_ALL ||
                       (target_id == IPC_TARGET_SERVER ? mode == IPC_MODE_CLIENT
                                                       : mode == IPC_MODE_SERVER);
    if (sends)
      host.second->SendAsync(target_id, buffer);
  }
}

void IPC_HostMgr::CreateHostTask(int mode,
                                 const std::string& name,
                                 scoped_refptr<CreationSlot> slot) {
  scoped_refptr<IPC_Host> host(mode == IPC_MODE_SERVER
                                   ? static_cast<IPC_Host*>(new IPC_HostServer(name))
                                   : new IPC_HostClient(mode, name));
  const bool inited = slot->Begin(host.get()) && host->Init();
  scoped_refptr<IPC_Host> unregistered;
  const bool taken = slot->Finish([this, &host, &unregistered, inited]() -> IPC_Host* {
    return inited ? Register(host, &unregistered) : nullptr;
  });
  if (!taken)
    unregistered = host;
  // Nobody sent through it: nothing to write.
  if (unregistered)
    unregistered->Close(base::TimeTicks::Now(), new IPC_CloseTally);
}

IPC_Host* IPC_HostMgr::Register(scoped_refptr<IPC_Host> host,
                                scoped_refptr<IPC_Host>* unregistered) {
  base::AutoLock lock(m_Lock);
  auto inserted = m_HostMap.insert(std::make_pair(host->name(), host));
  if (inserted.second)
    return host.get();
  *unregistered = host;
  IPC_Host* registered = inserted.first->second.get();
  return (registered->mode() & host->mode()) ? registered : nullptr;
}

scoped_refptr<IPC_Host> IPC_HostMgr::Unregister(const void* handle) {
  if (!handle)
    return nullptr;
  base::AutoLock lock(m_Lock);
  for (auto host = m_HostMap.begin(); host != m_HostMap.end(); ++host) {
    if (host->second.get() != handle)
      continue;
    scoped_refptr<IPC_Host> found = host->second;
    // The module's last host: channel errors are expected from here on.
    if (m_HostMap.size() == 1)
      found->SetQuiet();
    m_HostMap.erase(host);
    return found;
  }
  return nullptr;
}

IPC_HostMgr::HostMap IPC_HostMgr::CopyHostMap() {
  base::AutoLock lock(m_Lock);
  return m_HostMap;
}
