// The module object and its static construction.
#include "Host/IPC_Module.h"

namespace {

IPC_Module g_module;

}  // namespace

IPC_Module::IPC_Module()
    : m_pEnvironment(new IPC_ThreadEnviroment),
      m_pHostMgr(new IPC_HostMgr(m_pEnvironment.get())) {}

IPC_Module::~IPC_Module() {
  m_pHostMgr = nullptr;
  // Tasks still queued may hold the host manager, and through it the environment: stopping
  // the threads destroys them.
  m_pEnvironment->Stop();
  m_pEnvironment = nullptr;
}

// static
IPC_Module& IPC_Module::Get() {
  return g_module;
}
