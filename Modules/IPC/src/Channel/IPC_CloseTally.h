// Waits for the closes of several channels at once, each of which writes what was queued on
// it first, so that a host's whole close fits one time bound.
#ifndef IPC_CHANNEL_IPC_CLOSETALLY_H_
#define IPC_CHANNEL_IPC_CLOSETALLY_H_

#include "base/memory/ref_counted.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "ipc/ipc_channel.h"

// Expect and Forget are called on one thread, Wait on any thread once they have been; the
// callbacks they hand out run on the channels' IO thread, possibly after the waiter gave up.
class IPC_CloseTally : public base::RefCountedThreadSafe<IPC_CloseTally> {
 public:
  IPC_CloseTally();

  // The callback of one more close; Forget undoes it for a close that was never posted.
  IPC::Channel::ClosedCallback Expect();
  void Forget();
  // The callback of a close whose writing does not count: nothing of the application's is
  // queued on it.
  IPC::Channel::ClosedCallback ExpectCloseOnly();

  // How long a close may take once its writing was cut short.
  static const int kCutShortCloseMs = 250;

  // Waits for the expected closes, whose writing ends at |write_deadline|, for at most
  // kCutShortCloseMs past it; true when all of them ended with everything written.
  bool Wait(base::TimeTicks write_deadline);

 private:
  friend class base::RefCountedThreadSafe<IPC_CloseTally>;
  ~IPC_CloseTally();

  void OnClosed(bool written);
  void OnClosedOnly(bool written);
  void CountOneOpen();
  void CountOneClosed();  // with m_Lock held

  base::Lock m_Lock;
  int m_iOpen;          // guarded by m_Lock
  bool m_bAllWritten;   // guarded by m_Lock
  base::WaitableEvent m_AllClosed;  // signalled while m_iOpen is 0

  IPC_CloseTally(const IPC_CloseTally&) = delete;
  IPC_CloseTally& operator=(const IPC_CloseTally&) = delete;
};

#endif  // IPC_CHANNEL_IPC_CLOSETALLY_H_
