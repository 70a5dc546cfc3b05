// Object watching over the OS's registered waits.
#include "base/win/object_watcher.h"

#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"

namespace base {
namespace win {

ObjectWatcher::ObjectWatcher()
    : weak_factory_(this), object_(nullptr), wait_object_(nullptr), origin_loop_(nullptr) {}

ObjectWatcher::~ObjectWatcher() {
  StopWatching();
}

bool ObjectWatcher::StartWatching(NativeHandle object, Delegate* delegate) {
  if (wait_object_)
    return false;
  MessageLoop* current_loop = MessageLoop::current();
  if (!current_loop) {
    // The signal is delivered as a task; without a loop it would have nowhere to go.
    LOG(ERROR) << "ObjectWatcher::StartWatching needs a message loop on the calling thread";
    return false;
  }

  callback_ = Bind(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(), delegate);
  object_ = object;
  origin_loop_ = current_loop;

  // The routine runs on the wait thread itself and only once, since it does no more than post.
  HANDLE wait_object = nullptr;
  if (!RegisterWaitForSingleObject(&wait_object, object, &ObjectWatcher::DoneWaiting, this,
                                   INFINITE, WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE)) {
    const DWORD error = GetLastError();
    LOG(ERROR) << "RegisterWaitForSingleObject failed: " << error;
    object_ = nullptr;
    wait_object_ = nullptr;
    return false;
  }
  wait_object_ = wait_object;

  current_loop->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!wait_object_)
    return false;

  // INVALID_HANDLE_VALUE makes the call block until a DoneWaiting in progress has returned, so
  // nothing touches this watcher on the wait thread afterwards.
  // Should it fail, the OS wait would stay and could call this watcher after its death.
  const BOOL unregistered = UnregisterWaitEx(wait_object_, INVALID_HANDLE_VALUE);
  const DWORD error = unregistered ? ERROR_SUCCESS : GetLastError();
  CHECK(unregistered) << "UnregisterWaitEx failed: " << error;

  // A signal task already posted but not yet run now does nothing.
  weak_factory_.InvalidateWeakPtrs();

  object_ = nullptr;
  wait_object_ = nullptr;

  // The origin loop is the current one by contract; it is alive, since its destruction stops
  // every watch it carries.
  origin_loop_->RemoveDestructionObserver(this);
  return true;
}

NativeHandle ObjectWatcher::GetWatchedObject() {
  return object_;
}

// static
void __stdcall ObjectWatcher::DoneWaiting(void* context, unsigned char /*timed_out*/) {
  ObjectWatcher* that = static_cast<ObjectWatcher*>(context);
  that->origin_loop_->PostTask(FROM_HERE_WITH_FUNCTION("base::win::ObjectWatcher::DoneWaiting"),
                               that->callback_);
  that->callback_.Reset();
}

void ObjectWatcher::Signal(Delegate* delegate) {
  NativeHandle object = object_;
  StopWatching();
  delegate->OnObjectSignaled(object);
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() {
  StopWatching();
}

}  // namespace win
}  // namespace base
