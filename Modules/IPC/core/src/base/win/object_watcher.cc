// Object watching over the OS's registered waits.
#include "base/win/object_watcher.h"

#include <windows.h>

#include <map>
#include <utility>

#include "base/bind.h"
#include "base/lazy_instance.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/lock.h"

namespace base {
namespace win {

namespace {

// The signal tasks of the running watches, by key. The OS routine only takes its task from
// here: Wine 8 may run a routine after its wait was removed, or twice, and then finds nothing.
class PendingSignals {
 public:
  uintptr_t Add(scoped_refptr<MessageLoopProxy> loop, Closure task) {
    AutoLock lock(lock_);
    const uintptr_t key = next_key_++;
    entries_.emplace(key, Entry{std::move(loop), std::move(task)});
    return key;
  }

  void Remove(uintptr_t key) { Take(key); }

  void Post(uintptr_t key) {
    Entry entry = Take(key);
    if (entry.loop)
      entry.loop->PostTask(FROM_HERE_WITH_FUNCTION("base::win::ObjectWatcher::DoneWaiting"),
                           entry.task);
  }

 private:
  struct Entry {
    scoped_refptr<MessageLoopProxy> loop;
    Closure task;
  };

  // Destroyed by the caller, outside the lock: the task holds a weak pointer.
  Entry Take(uintptr_t key) {
    AutoLock lock(lock_);
    Entry entry;
    auto found = entries_.find(key);
    if (found != entries_.end()) {
      entry = std::move(found->second);
      entries_.erase(found);
    }
    return entry;
  }

  Lock lock_;
  std::map<uintptr_t, Entry> entries_;  // guarded by lock_
  uintptr_t next_key_ = 1;              // guarded by lock_
};

LazyInstance<PendingSignals>::Leaky g_pending_signals = LAZY_INSTANCE_INITIALIZER;

}  // namespace

ObjectWatcher::ObjectWatcher()
    : weak_factory_(this),
      key_(0),
      object_(nullptr),
      wait_object_(nullptr),
      origin_loop_(nullptr) {}

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

  object_ = object;
  origin_loop_ = current_loop;
  key_ = g_pending_signals.Get().Add(
      MessageLoopProxy::current(),
      Bind(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(), delegate));

  // The routine runs on a pool thread, not the wait thread (WT_EXECUTEINWAITTHREAD): Wine 8
  // loses track of a routine starting there, and removing the wait then faults in its pool.
  HANDLE wait_object = nullptr;
  if (!RegisterWaitForSingleObject(&wait_object, object, &ObjectWatcher::DoneWaiting,
                                   reinterpret_cast<void*>(key_), INFINITE, WT_EXECUTEONLYONCE)) {
    const DWORD error = GetLastError();
    LOG(ERROR) << "RegisterWaitForSingleObject failed: " << error;
    g_pending_signals.Get().Remove(key_);
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

  // Once its entry is gone the routine does nothing, so the removal need not wait for it;
  // ERROR_IO_PENDING says that it runs or is about to.
  g_pending_signals.Get().Remove(key_);
  if (!UnregisterWaitEx(wait_object_, nullptr) && GetLastError() != ERROR_IO_PENDING)
    LOG(ERROR) << "UnregisterWaitEx failed: " << GetLastError();

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
  g_pending_signals.Get().Post(reinterpret_cast<uintptr_t>(context));
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
