// Raw thread-local slots over the OS TLS calls.
#include "base/threading/thread_local.h"

#include <windows.h>

namespace base {
namespace internal {

// static
void ThreadLocalPlatform::AllocateSlot(SlotType& slot) {
  slot = ::TlsAlloc();
}

// static
void ThreadLocalPlatform::FreeSlot(SlotType slot) {
  ::TlsFree(slot);
}

// static
void* ThreadLocalPlatform::GetValueFromSlot(SlotType slot) {
  return ::TlsGetValue(slot);
}

// static
void ThreadLocalPlatform::SetValueInSlot(SlotType slot, void* value) {
  ::TlsSetValue(slot, value);
}

}  // namespace internal
}  // namespace base
