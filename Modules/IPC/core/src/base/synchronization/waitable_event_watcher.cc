// Watching a WaitableEvent through an object watcher on its handle.
#include "base/synchronization/waitable_event_watcher.h"

#include "base/synchronization/waitable_event.h"

namespace base {

void WaitableEventWatcher::ObjectWatcherHelper::OnObjectSignaled(win::NativeHandle /*object*/) {
  watcher_->OnObjectSignaled();
}

WaitableEventWatcher::WaitableEventWatcher()
    : helper_(this), event_(nullptr), delegate_(nullptr) {}

WaitableEventWatcher::~WaitableEventWatcher() {}

bool WaitableEventWatcher::StartWatching(WaitableEvent* event, Delegate* delegate) {
  // Recording a second event and delegate over a running watch would hand the first event's
  // signal to the wrong delegate.
  if (watcher_.GetWatchedObject())
    return false;
  event_ = event;
  delegate_ = delegate;
  if (watcher_.StartWatching(event->handle(), &helper_))
    return true;
  event_ = nullptr;
  delegate_ = nullptr;
  return false;
}

void WaitableEventWatcher::StopWatching() {
  event_ = nullptr;
  delegate_ = nullptr;
  watcher_.StopWatching();
}

void WaitableEventWatcher::OnObjectSignaled() {
  WaitableEvent* event = event_;
  Delegate* delegate = delegate_;
  event_ = nullptr;
  delegate_ = nullptr;
  delegate->OnWaitableEventSignaled(event);
}

}  // namespace base
