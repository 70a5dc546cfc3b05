// Watches a waitable kernel object without blocking: the OS thread pool does the waiting
// and the delegate is called as a task on the message loop that started the watch.
#ifndef BASE_WIN_OBJECT_WATCHER_H_
#define BASE_WIN_OBJECT_WATCHER_H_

#include <cstdint>

#include "base/callback.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop.h"
#include "base/win/scoped_handle.h"

namespace base {
namespace win {

// Used on one thread, the origin loop's. A watch fires at most once; the watcher stops before
// it calls the delegate, so the delegate may start a new watch or delete the watcher. The
// watched handle is not owned and must stay open while it is watched.
class ObjectWatcher : public MessageLoop::DestructionObserver {
 public:
  class Delegate {
   public:
    virtual ~Delegate() {}
    virtual void OnObjectSignaled(NativeHandle object) = 0;
  };

  ObjectWatcher();
  ~ObjectWatcher() override;

  // False when a watch is already running (which is left alone), when the thread has no
  // message loop, or when the OS refuses the wait.
  bool StartWatching(NativeHandle object, Delegate* delegate);

  // False when idle. Once it returns true, a signal already in flight calls nothing.
  bool StopWatching();

  // The watched handle, null when idle.
  NativeHandle GetWatchedObject();

 private:
  // Runs once on an OS wait thread when the object is signalled.
  static void __stdcall DoneWaiting(void* context, unsigned char timed_out);

  // Runs as the signal task on the origin loop while this watcher's weak pointers are valid.
  void Signal(Delegate* delegate);

  // A loop that goes away takes its watches with it, so nothing is posted to it afterwards.
  void WillDestroyCurrentMessageLoop() override;

  WeakPtrFactory<ObjectWatcher> weak_factory_;
  uintptr_t key_;             // the watch's entry among the signals not yet posted
  NativeHandle object_;       // the watched object, null when idle
  NativeHandle wait_object_;  // the OS wait registration, null when idle
  MessageLoop* origin_loop_;  // the loop current at StartWatching

  ObjectWatcher(const ObjectWatcher&) = delete;
  ObjectWatcher& operator=(const ObjectWatcher&) = delete;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_OBJECT_WATCHER_H_
