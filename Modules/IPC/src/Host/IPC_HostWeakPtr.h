// How a host's filters on "IOThread" reach it while "MainThread" may be destroying it.
#ifndef IPC_HOST_IPC_HOSTWEAKPTR_H_
#define IPC_HOST_IPC_HOSTWEAKPTR_H_

#include "base/memory/ref_counted.h"
#include "base/synchronization/lock.h"

// Never keeps the host alive. The host detaches it while it still holds a reference of its
// own (when it closes, and at the latest when it dies), so a host reached through Get stays
// alive for the length of the caller's reference, and nothing reaches it after the detach.
// Any thread.
template <class HostType>
class IPC_HostWeakPtr : public base::RefCountedThreadSafe<IPC_HostWeakPtr<HostType>> {
 public:
  explicit IPC_HostWeakPtr(HostType* host) : m_pHost(host) {}

  // The host with a reference, or null once detached.
  scoped_refptr<HostType> Get() {
    base::AutoLock lock(m_Lock);
    return scoped_refptr<HostType>(m_pHost);
  }

  void Detach() {
    base::AutoLock lock(m_Lock);
    m_pHost = nullptr;
  }

 private:
  friend class base::RefCountedThreadSafe<IPC_HostWeakPtr<HostType>>;
  ~IPC_HostWeakPtr() {}

  base::Lock m_Lock;
  HostType* m_pHost;  // guarded by m_Lock
};

#endif  // IPC_HOST_IPC_HOSTWEAKPTR_H_
