// The broker module of the process: built before the program's entry point, torn down at exit.
#ifndef IPC_HOST_IPC_MODULE_H_
#define IPC_HOST_IPC_MODULE_H_

#include "base/at_exit.h"
#include "base/memory/ref_counted.h"
#include "Host/IPC_HostMgr.h"
#include "Thread/IPC_ThreadEnviroment.h"

// Destruction releases the host manager (hosts still registered die without a close), then
// the thread environment (which stops the threads), then runs the at-exit callbacks that tear
// down the process's lazily built singletons.
class IPC_Module {
 public:
  IPC_Module();
  ~IPC_Module();

  static IPC_Module& Get();

  IPC_ThreadEnviroment* environment() { return m_pEnvironment.get(); }
  IPC_HostMgr* host_manager() { return m_pHostMgr.get(); }

 private:
  base::AtExitManager m_AtExitManager;
  scoped_refptr<IPC_ThreadEnviroment> m_pEnvironment;
  scoped_refptr<IPC_HostMgr> m_pHostMgr;

  IPC_Module(const IPC_Module&) = delete;
  IPC_Module& operator=(const IPC_Module&) = delete;
};

#endif  // IPC_HOST_IPC_MODULE_H_
