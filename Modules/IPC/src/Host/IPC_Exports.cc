// The broker's exported functions: argument checks, then the host manager.
#include "IPC_Broker.h"

#include <string>

#include "Channel/IPC_ChannelMsg.h"
#include "Host/IPC_Module.h"

namespace {

IPC_HostMgr* Hosts() {
  return IPC_Module::Get().host_manager();
}

// Connect and shut-down wait for "MainThread" and may stop every module thread, so a module
// thread (a callback, above all) must not make them.
bool OnModuleThread() {
  int thread_id;
  return IPC_ThreadEnviroment::GetCurrentThreadIdentifier(&thread_id);
}

// Bytes that fit one routed message; more would be rejected by the receiving peer.
bool IsSendable(const void* data, unsigned size) {
  return data && size && size <= kMaxRoutingDataSize;
}

}  // namespace

void* IPC_CALL IPC_Connect(Mode mode, const char* name) {
  if (!name || (mode != IPC_MODE_SERVER && mode != IPC_MODE_CLIENT) || OnModuleThread())
    return nullptr;
  return Hosts()->Connect(mode, name);
}

bool IPC_CALL IPC_ShutDown(void* host) {
  return !OnModuleThread() && Hosts()->ShutDown(host);
}

bool IPC_CALL IPC_Send(void* host, int target_id, void* data, unsigned size) {
  if (!IsSendable(data, size))
    return false;
  scoped_refptr<IPC_Host> registered = Hosts()->GetHost(host);
  if (!registered || registered->HasLostPeer())
    return false;
  return registered->SendAsync(target_id, new IPC_MsgBuf(data, size));
}

bool IPC_CALL IPC_Send(int target_id, void* data, unsigned size) {
  if (!IsSendable(data, size) || Hosts()->GetHostCount() == 0)
    return false;
  Hosts()->SendToHosts(target_id, new IPC_MsgBuf(data, size));
  return true;
}

int IPC_CALL IPC_AddListener(void* host, IPC_ListenerFunc listener, void* user) {
  scoped_refptr<IPC_Host> registered = Hosts()->GetHost(host);
  if (!registered)
    return -1;
  registered->AddListener(listener, user);
  return 0;
}

int IPC_CALL IPC_RemoveListener(IPC_ListenerFunc listener, void* /*user*/) {
  Hosts()->RemoveListenerFromAll(listener);
  return 0;
}

int IPC_CALL IPC_AddStatusCallback(void* host, IPC_StatusFunc callback, void* user) {
  scoped_refptr<IPC_Host> registered = Hosts()->GetHost(host);
  if (!registered)
    return -1;
  registered->AddStatus(callback, user);
  return 0;
}

int IPC_CALL IPC_RemoveStatusCallback(IPC_StatusFunc callback, void* /*user*/) {
  Hosts()->RemoveStatusFromAll(callback);
  return 0;
}

void IPC_CALL IPC_RegisterStatusCallback(IPC_StatusFunc callback, void* user) {
  Hosts()->RegisterStatusCallback(callback, user);
}

int IPC_CALL IPC_GetCommunicationID(void* host) {
  scoped_refptr<IPC_Host> registered = Hosts()->GetHost(host);
  return registered ? registered->communication_id() : 0;
}
