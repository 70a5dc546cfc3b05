// Adding, removing and calling a host's callbacks.
#include "Host/IPC_HostCallbacks.h"

IPC_HostCallbacks::IPC_HostCallbacks() {}

IPC_HostCallbacks::~IPC_HostCallbacks() {}

void IPC_HostCallbacks::AddListener(IPC_ListenerFunc listener, void* user) {
  if (listener)
    m_Listeners.insert(std::make_pair(listener, user));
}

void IPC_HostCallbacks::RemoveListener(IPC_ListenerFunc listener) {
  m_Listeners.erase(listener);
}

void IPC_HostCallbacks::AddStatus(IPC_StatusFunc callback, void* user, void* host) {
  if (callback)
    m_StatusCallbacks.insert(std::make_pair(callback, StatusBinding{user, host}));
}

void IPC_HostCallbacks::RemoveStatus(IPC_StatusFunc callback) {
  m_StatusCallbacks.erase(callback);
}

void IPC_HostCallbacks::CallListeners(int source_id, const char* data, unsigned size) const {
  // A callback that adds or removes callbacks posts the change, so the maps hold still here.
  for (const auto& listener : m_Listeners)
    listener.first(listener.second, source_id, const_cast<char*>(data), size);
}

void IPC_HostCallbacks::CallStatus(Status status, int id, int process_id) const {
  for (const auto& callback : m_StatusCallbacks)
    callback.first(callback.second.user, callback.second.host, status, id, process_id);
}
