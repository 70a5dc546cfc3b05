// The runtime's mutual-exclusion lock and its scoped holders.
#ifndef BASE_SYNCHRONIZATION_LOCK_H_
#define BASE_SYNCHRONIZATION_LOCK_H_

#include "base/synchronization/lock_impl.h"

namespace base {

// A mutual-exclusion lock. Take it through AutoLock so that every return path releases it.
class Lock {
 public:
  Lock() {}

  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire() { lock_.Lock(); }
  void Release() { lock_.Unlock(); }

  // True if the lock was taken without waiting; the caller then must Release it.
  bool Try() { return lock_.Try(); }

  // Ownership is not tracked, so there is nothing to assert.
  void AssertAcquired() const {}

 private:
  internal::LockImpl lock_;
};

// Holds |lock| from construction to destruction.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() {
    lock_.AssertAcquired();
    lock_.Release();
  }

  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  Lock& lock_;
};

// Lets go of a held |lock| from construction to destruction, e.g. around a callback.
class AutoUnlock {
 public:
  explicit AutoUnlock(Lock& lock) : lock_(lock) {
    lock_.AssertAcquired();
    lock_.Release();
  }
  ~AutoUnlock() { lock_.Acquire(); }

  AutoUnlock(const AutoUnlock&) = delete;
  AutoUnlock& operator=(const AutoUnlock&) = delete;

 private:
  Lock& lock_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_LOCK_H_
