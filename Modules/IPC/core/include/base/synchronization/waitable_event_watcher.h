// Watches a WaitableEvent without blocking and calls a delegate on the watching loop once the
// event is signalled.
#ifndef BASE_SYNCHRONIZATION_WAITABLE_EVENT_WATCHER_H_
#define BASE_SYNCHRONIZATION_WAITABLE_EVENT_WATCHER_H_

#include "base/win/object_watcher.h"

namespace base {

class WaitableEvent;

// Used on one thread, the one whose message loop started the watch. The watch is cleared
// before the delegate runs, so the delegate may start watching again from its callback.
class WaitableEventWatcher {
 public:
  class Delegate {
   public:
    virtual ~Delegate() {}
    virtual void OnWaitableEventSignaled(WaitableEvent* waitable_event) = 0;
  };

  WaitableEventWatcher();
  virtual ~WaitableEventWatcher();

  // False when a watch is already running (it is left alone) or the watch cannot start.
  bool StartWatching(WaitableEvent* event, Delegate* delegate);

  void StopWatching();

  // The watched event, null when idle.
  WaitableEvent* GetWatchedEvent() { return event_; }

  // The delegate of the running watch, null when idle.
  Delegate* delegate() { return delegate_; }

 private:
  // Forwards the object watcher's signal to the watcher.
  class ObjectWatcherHelper : public win::ObjectWatcher::Delegate {
   public:
    explicit ObjectWatcherHelper(WaitableEventWatcher* watcher) : watcher_(watcher) {}
    void OnObjectSignaled(win::NativeHandle object) override;

   private:
    WaitableEventWatcher* watcher_;
  };

  void OnObjectSignaled();

  ObjectWatcherHelper helper_;
  win::ObjectWatcher watcher_;
  WaitableEvent* event_;
  Delegate* delegate_;

  WaitableEventWatcher(const WaitableEventWatcher&) = delete;
  WaitableEventWatcher& operator=(const WaitableEventWatcher&) = delete;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAITABLE_EVENT_WATCHER_H_
