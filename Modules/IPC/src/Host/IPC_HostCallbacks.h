// The listener and status-callback lists of one host.
#ifndef IPC_HOST_IPC_HOSTCALLBACKS_H_
#define IPC_HOST_IPC_HOSTCALLBACKS_H_

#include <map>

#include "IPC_Broker.h"
#include "base/memory/ref_counted.h"

// Each function is present once, with the user pointer it was first added with; calls go out
// in the order of the function pointers. Used on "EventThread" only.
class IPC_HostCallbacks : public base::RefCountedThreadSafe<IPC_HostCallbacks> {
 public:
  IPC_HostCallbacks();

  // A null function, or one present already, is ignored.
  void AddListener(IPC_ListenerFunc listener, void* user);
  void RemoveListener(IPC_ListenerFunc listener);
  void AddStatus(IPC_StatusFunc callback, void* user, void* host);
  void RemoveStatus(IPC_StatusFunc callback);

  void CallListeners(int source_id, const char* data, unsigned size) const;
  void CallStatus(Status status, int id, int process_id) const;

 private:
  friend class base::RefCountedThreadSafe<IPC_HostCallbacks>;
  ~IPC_HostCallbacks();

  struct StatusBinding {
    void* user;
    void* host;
  };

  std::map<IPC_ListenerFunc, void*> m_Listeners;         // function -> user pointer
  std::map<IPC_StatusFunc, StatusBinding> m_StatusCallbacks;
};

#endif  // IPC_HOST_IPC_HOSTCALLBACKS_H_
