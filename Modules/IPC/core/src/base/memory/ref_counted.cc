// The interlocked reference count.
#include "base/memory/ref_counted.h"

#include <windows.h>

namespace base {
namespace subtle {

static_assert(sizeof(long) == sizeof(LONG) && sizeof(LONG) == 4, "the count is a 32-bit LONG");

RefCountedThreadSafeBase::RefCountedThreadSafeBase() : ref_count_(0) {}

RefCountedThreadSafeBase::~RefCountedThreadSafeBase() {}

bool RefCountedThreadSafeBase::HasOneRef() const {
  return ref_count_ == 1;
}

void RefCountedThreadSafeBase::AddRef() const {
  ::InterlockedIncrement(&ref_count_);
}

bool RefCountedThreadSafeBase::Release() const {
  return ::InterlockedDecrement(&ref_count_) == 0;
}

}  // namespace subtle
}  // namespace base
