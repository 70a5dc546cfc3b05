// Host creation, destruction, lookup and the operations applied to every host.
#include "Host/IPC_HostMgr.h"

#include "base/bind.h"
#include "base/location.h"
#include "Host/IPC_HostClient.h"
#include "Host/IPC_HostServer.h"

namespace {

// A server's creation is waited for without limit: its task either runs or is dropped unrun,
// never finishes after its waiter left.
const int64_t kServerCreateTimeoutMs = -1;

// The threads in the order they stop.
const int kStopOrder[] = {IPC_THREAD_EVENT, IPC_THREAD_MAIN, IPC_THREAD_IO};

void Nothing() {}

}  // namespace

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
  return mode == IPC_MODE_SERVER ? CreateServer(name) : ConnectClient(mode, name);
}

IPC_Host* IPC_HostMgr::CreateServer(const std::string& name) {
  IPC_Host* created = nullptr;
  m_pEnvironment->PostTaskAndWait(
      IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostMgr::CreateHost"),
      base::Bind(&IPC_HostMgr::CreateServerTask, this, name, &created), kServerCreateTimeoutMs);
  return created;
}

IPC_Host* IPC_HostMgr::ConnectClient(Mode mode, const std::string& name) {
  scoped_refptr<IPC_HostClient> client(new IPC_HostClient(mode, name));
  return client->Init(m_pEnvironment.get()) ? RegisterOrClose(client) : nullptr;
}

bool IPC_HostMgr::DestroyHost(scoped_refptr<IPC_Host> host, base::TimeTicks deadline) {
  const base::TimeTicks write_deadline =
      deadline - base::TimeDelta::FromMilliseconds(kShutDownBudgetMs - kShutDownWritingMs);
  scoped_refptr<IPC_CloseTally> tally(new IPC_CloseTally);
  // After the sends queued before it on "MainThread", so they are written first.
  const bool closed =
      m_pEnvironment->PostTaskAndWaitUntil(
          IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostMgr::DestroyHost"),
          base::Bind(&IPC_Host::Close, host, write_deadline, tally), deadline) &&
      tally->Wait(write_deadline);
  // Callbacks already queued for the host run before this, later ones find no callbacks.
  const bool quiet = m_pEnvironment->PostTaskAndWaitUntil(
      IPC_THREAD_EVENT, FROM_HERE_WITH_FUNCTION("IPC_HostMgr::DestroyHost"),
      base::Bind(&IPC_Host::DropCallbacks, host), deadline);
  return closed && quiet;
}

bool IPC_HostMgr::StopThreadsIfUnused(base::TimeTicks deadline) {
  base::AutoLock lock(m_LifeLock);
  if (!m_bThreadsUp || m_iInFlight > 0 || GetHostCount() > 0)
    return true;
  // A thread still busy (a callback that has not returned) could not be joined in time.
  for (int thread_id : kStopOrder) {
    if (!m_pEnvironment->PostTaskAndWaitUntil(thread_id,
                                              FROM_HERE_WITH_FUNCTION("IPC_HostMgr::ShutDown"),
                                              base::Bind(&Nothing), deadline))
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

void IPC_HostMgr::CreateServerTask(const std::string& name, IPC_Host** created) {
  scoped_refptr<IPC_HostServer> server(new IPC_HostServer(name));
  if (server->Init())
    *created = RegisterOrClose(server);
}

IPC_Host* IPC_HostMgr::RegisterOrClose(scoped_refptr<IPC_Host> host) {
  scoped_refptr<IPC_Host> unregistered;
  IPC_Host* registered = Register(host, &unregistered);
  // Nobody sent through it: nothing to write.
  if (unregistered) {
    IPC_ThreadEnviroment::PostTask(
        IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_HostMgr::CreateHost"),
        base::Bind(&IPC_Host::Close, unregistered, base::TimeTicks::Now(),
                   make_scoped_refptr(new IPC_CloseTally)));
  }
  return registered;
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
