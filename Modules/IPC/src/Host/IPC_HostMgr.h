// The registry of the process's hosts: creates and destroys them on "MainThread" while the
// caller waits, and finds them by name or handle.
#ifndef IPC_HOST_IPC_HOSTMGR_H_
#define IPC_HOST_IPC_HOSTMGR_H_

#include <map>
#include <string>

#include "IPC_Broker.h"
#include "base/memory/ref_counted.h"
#include "base/synchronization/lock.h"
#include "Host/IPC_Host.h"
#include "Thread/IPC_ThreadEnviroment.h"

// Any thread may call every operation, except that CreateHost and DestroyHost block and so
// never run on a module thread. m_Lock guards the map only; the one host operation under it
// is Close, in the destruction task (lock order: m_Lock, then a server's pending lock).
class IPC_HostMgr : public base::RefCountedThreadSafe<IPC_HostMgr> {
 public:
  explicit IPC_HostMgr(IPC_ThreadEnviroment* environment);

  IPC_Host* FindHost(const std::string& name);
  bool IsValidHost(const void* handle);
  size_t GetHostCount();

  // The registered host |handle| with a reference, or null.
  scoped_refptr<IPC_Host> GetHost(const void* handle);

  // The host registered under |name| when the modes share a bit (null when they do not);
  // otherwise a new host, or null when it could not be made: a server host is waited for
  // without limit, a client host 10 s. A client host that finishes later is closed, never
  // registered.
  IPC_Host* CreateHost(Mode mode, const std::string& name);

  // Closes and unregisters |host|, waiting at most 5 s; when it returns true, no callback of
  // the host runs any more (a call in progress has ended).
  bool DestroyHost(IPC_Host* host);

  // Applied to every host registered now.
  void RegisterStatusCallback(IPC_StatusFunc callback, void* user);
  void RemoveListenerFromAll(IPC_ListenerFunc listener);
  void RemoveStatusFromAll(IPC_StatusFunc callback);

  // Sends through client hosts for IPC_TARGET_SERVER, every host for IPC_TARGET_ALL, and
  // server hosts for any other target.
  void SendToHosts(int target_id, scoped_refptr<IPC_MsgBuf> buffer);

 private:
  friend class base::RefCountedThreadSafe<IPC_HostMgr>;
  class CreationSlot;
  typedef std::map<std::string, scoped_refptr<IPC_Host>> HostMap;

  // Hosts still registered at exit die without a close, after their channels let go of them.
  ~IPC_HostMgr();

  void CreateHostTask(int mode, const std::string& name, scoped_refptr<CreationSlot> slot);
  void DestroyHostTask(scoped_refptr<IPC_Host> host);
  // Registers |host|, or closes it and answers the host registered under its name first.
  IPC_Host* Register(scoped_refptr<IPC_Host> host);
  HostMap CopyHostMap();

  scoped_refptr<IPC_ThreadEnviroment> m_pEnvironment;
  HostMap m_HostMap;  // guarded by m_Lock
  base::Lock m_Lock;
};

#endif  // IPC_HOST_IPC_HOSTMGR_H_
