// One of the broker's three threads, and the process-wide slots through which tasks find them.
#ifndef IPC_THREAD_IPC_THREAD_H_
#define IPC_THREAD_IPC_THREAD_H_

#include "base/memory/ref_counted.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/lock.h"
#include "base/threading/thread.h"

// The ids tasks are posted by; any other value has no thread.
enum IPC_ThreadId {
  IPC_THREAD_MAIN = 0,   // host creation and destruction, every send, worker bookkeeping
  IPC_THREAD_IO = 1,     // every pipe and every message filter
  IPC_THREAD_EVENT = 2,  // callback lists and every call into the application
  IPC_THREAD_COUNT = 3
};

// Fills slot |m_iThreadId| for its whole life: constructed on the starting thread, it is
// started by its table, which publishes its loop in the slot, and its destruction (by the
// table's last reference) stops and joins the thread before the slot is cleared.
class IPC_Thread : public base::Thread, public base::RefCountedThreadSafe<IPC_Thread> {
 public:
  // A null |name| takes the thread's standard name.
  IPC_Thread(int thread_id, const char* name);

  int thread_id() const { return m_iThreadId; }

  // Starts the thread with its id's loop type and publishes the loop in the slot; a thread
  // that did not start has no loop there, so posts to it fail.
  void StartLoop();

  // The standard name of |thread_id| ("MainThread", "IOThread", "EventThread"); null for an
  // id without a thread.
  static const char* NameOf(int thread_id);

  // The loop type of |thread_id|'s thread.
  static MessageLoop::Type LoopTypeOf(int thread_id);

 protected:
  friend class base::RefCountedThreadSafe<IPC_Thread>;
  ~IPC_Thread() override;

 private:
  const int m_iThreadId;
};

// The three thread slots, read by every post. Created on first use and destroyed with the
// module's at-exit manager, after the threads are gone.
class IPC_ThreadSlots {
 public:
  IPC_ThreadSlots();

  static IPC_ThreadSlots& Get();

  // Slot access for IPC_Thread's construction, start and destruction. A slot keeps its own
  // reference to the loop's proxy, since the thread drops its one while it stops.
  void Fill(int thread_id, IPC_Thread* thread);
  void Publish(int thread_id, IPC_Thread* thread, scoped_refptr<base::MessageLoopProxy> loop);
  void Clear(int thread_id, IPC_Thread* thread);

  // The loop proxy of |thread_id|'s started thread; null for a stopped or missing one. The
  // proxy answers false to posts once its loop is gone, so a post never reaches a dead loop.
  scoped_refptr<base::MessageLoopProxy> ProxyOf(int thread_id);

  // Whether |thread_id|'s thread is the calling thread.
  bool RunsOnCurrentThread(int thread_id);

 private:
  struct Slot {
    IPC_Thread* thread;
    scoped_refptr<base::MessageLoopProxy> loop;  // null until the thread started
  };

  static bool IsValidId(int thread_id);

  base::Lock m_Lock;
  Slot m_Slots[IPC_THREAD_COUNT];  // guarded by m_Lock
};

#endif  // IPC_THREAD_IPC_THREAD_H_
