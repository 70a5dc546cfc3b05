// The critical section behind base::Lock.
#include "base/synchronization/lock_impl.h"

#include <windows.h>

namespace base {
namespace internal {

namespace {

// Spinning this often before sleeping pays off for the short sections the runtime guards.
const DWORD kSpinCount = 2000;

CRITICAL_SECTION* AsCriticalSection(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

static_assert(sizeof(CRITICAL_SECTION) == sizeof(LockImpl),
              "LockImpl storage must hold a CRITICAL_SECTION");
static_assert(alignof(CRITICAL_SECTION) <= alignof(void*),
              "LockImpl storage must be aligned for a CRITICAL_SECTION");

LockImpl::LockImpl() {
  // Cannot fail on Vista and later.
  InitializeCriticalSectionAndSpinCount(AsCriticalSection(native_lock_), kSpinCount);
}

LockImpl::~LockImpl() {
  DeleteCriticalSection(AsCriticalSection(native_lock_));
}

bool LockImpl::Try() {
  return TryEnterCriticalSection(AsCriticalSection(native_lock_)) != FALSE;
}

void LockImpl::Lock() {
  EnterCriticalSection(AsCriticalSection(native_lock_));
}

void LockImpl::Unlock() {
  LeaveCriticalSection(AsCriticalSection(native_lock_));
}

}  // namespace internal
}  // namespace base
