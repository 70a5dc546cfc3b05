// The platform lock behind base::Lock: one Windows critical section. Implementation detail;
// use base::Lock.
#ifndef BASE_SYNCHRONIZATION_LOCK_IMPL_H_
#define BASE_SYNCHRONIZATION_LOCK_IMPL_H_

#include <cstddef>

namespace base {
namespace internal {

// A critical section created with a spin count of 2000. Any thread may lock; Unlock must
// come from the thread that locked.
class LockImpl {
 public:
  LockImpl();
  ~LockImpl();

  LockImpl(const LockImpl&) = delete;
  LockImpl& operator=(const LockImpl&) = delete;

  // True if the lock was taken without waiting.
  bool Try();
  void Lock();
  void Unlock();

 private:
  // Storage of a CRITICAL_SECTION, so that windows.h stays out of every header that takes
  // a lock; lock_impl.cc checks the size against the real structure.
  static const size_t kNativeLockSize = sizeof(void*) == 8 ? 40 : 24;
  alignas(void*) unsigned char native_lock_[kNativeLockSize];
};

}  // namespace internal
}  // namespace base

#endif  // BASE_SYNCHRONIZATION_LOCK_IMPL_H_
