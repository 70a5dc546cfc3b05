// The registry of the process's hosts: creates and destroys them while the caller waits,
// and finds them by name or handle.
#ifndef IPC_HOST_IPC_HOSTMGR_H_
#define IPC_HOST_IPC_HOSTMGR_H_

#include <map>
#include <string>

#include "IPC_Broker.h"
#include "base/memory/ref_counted.h"
#include "base/synchronization/lock.h"
#include "base/time.h"
#include "Host/IPC_Host.h"
#include "Thread/IPC_ThreadEnviroment.h"

// Any thread may call every operation, except that Connect, CreateHost and ShutDown block
// and so never run on a module thread. m_Lock guards the map only and is never held across
// a host operation, so lookups never wait for a close. m_LifeLock orders the threads' start
// and stop with the connects and shutdowns in flight (lock order: m_LifeLock, then m_Lock).
class IPC_HostMgr : public base::RefCountedThreadSafe<IPC_HostMgr> {
 public:
  // All of a shutdown, and the part of it a host's channels may spend writing what was
  // queued; the rest is for the callbacks to end and the threads to stop.
  static const int kShutDownBudgetMs = 5000;
  static const int kShutDownWritingMs = 4000;

  explicit IPC_HostMgr(IPC_ThreadEnviroment* environment);

  scoped_refptr<IPC_Host> FindHost(const std::string& name);
  bool IsValidHost(const void* handle);
  size_t GetHostCount();

  // Starts the module's threads and creates the host (CreateHost); no shutdown stops the
  // threads while a connect is in flight.
  IPC_Host* Connect(Mode mode, const std::string& name);

  // Unregisters |handle|'s host at once, closes it once what it queued is written, and with
  // the last host stops the module's threads, all within kShutDownBudgetMs. True when it
  // all happened in time: nothing queued was cut short and no callback of the host runs
  // any more. False for an unknown handle, and when the budget ran out; threads that could
  // not be stopped in time then stay until the next last shutdown or the module's end.
  bool ShutDown(const void* handle);

  // The registered host |handle| with a reference, or null.
  scoped_refptr<IPC_Host> GetHost(const void* handle);

  // The host registered under |name| when the modes share a bit (null when they do not);
  // otherwise a new host, or null when it could not be made: a server host is made on
  // "MainThread" while the caller waits without limit; a client host connects on the
  // caller's thread within 10 s.
  IPC_Host* CreateHost(Mode mode, const std::string& name);

  // Applied to every host registered now.
  void RegisterStatusCallback(IPC_StatusFunc callback, void* user);
  void RemoveListenerFromAll(IPC_ListenerFunc listener);
  void RemoveStatusFromAll(IPC_StatusFunc callback);

  // Sends through client hosts for IPC_TARGET_SERVER, every host for IPC_TARGET_ALL, and
  // server hosts for any other target.
  void SendToHosts(int target_id, scoped_refptr<IPC_MsgBuf> buffer);

 private:
  friend class base::RefCountedThreadSafe<IPC_HostMgr>;
  typedef std::map<std::string, scoped_refptr<IPC_Host>> HostMap;

  // Hosts still registered at exit die without a close, after their channels let go of them.
  ~IPC_HostMgr();

  IPC_Host* CreateServer(const std::string& name);
  // On "MainThread": stores the registered server in |created|, which its waiter keeps
  // until the task has run or been dropped.
  void CreateServerTask(const std::string& name, IPC_Host** created);
  IPC_Host* ConnectClient(Mode mode, const std::string& name);
  // Register, with a host that lost the race for its name closed on "MainThread".
  IPC_Host* RegisterOrClose(scoped_refptr<IPC_Host> host);
  // Registers |host| and answers it, or leaves it in |unregistered| and answers the host
  // registered under its name first.
  IPC_Host* Register(scoped_refptr<IPC_Host> host, scoped_refptr<IPC_Host>* unregistered);
  // Takes |handle|'s host out of the map; the last one is made quiet first.
  scoped_refptr<IPC_Host> Unregister(const void* handle);
  // Closes |host| on "MainThread" and drops its callbacks on "EventThread" by |deadline|.
  bool DestroyHost(scoped_refptr<IPC_Host> host, base::TimeTicks deadline);
  // Adds |change| to the connects and shutdowns under way, which keep the threads up.
  void CountInFlight(int change);
  // Stops the threads when no host, connect or shutdown is left; false when they could not all
  // be seen idle by |deadline|.
  bool StopThreadsIfUnused(base::TimeTicks deadline);
  HostMap CopyHostMap();

  scoped_refptr<IPC_ThreadEnviroment> m_pEnvironment;
  HostMap m_HostMap;  // guarded by m_Lock
  base::Lock m_Lock;
  base::Lock m_LifeLock;
  int m_iInFlight;     // connects and shutdowns under way; guarded by m_LifeLock
  bool m_bThreadsUp;   // guarded by m_LifeLock
};

#endif  // IPC_HOST_IPC_HOSTMGR_H_
