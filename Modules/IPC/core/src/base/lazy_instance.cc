// The creation protocol shared by every LazyInstance: one thread builds, the others wait.
#include "base/lazy_instance.h"

#include "base/at_exit.h"
#include "base/threading/platform_thread.h"

namespace base {
namespace internal {

bool NeedsLazyInstance(LazyInstanceState* state) {
  uintptr_t expected = 0;
  if (state->compare_exchange_strong(expected, kLazyInstanceStateCreating,
                                     std::memory_order_acquire))
    return true;
  // Construction is short and rare, so the losers simply give way until the winner
  // publishes the address.
  while (state->load(std::memory_order_acquire) == kLazyInstanceStateCreating)
    PlatformThread::YieldCurrentThread();
  return false;
}

void CompleteLazyInstance(LazyInstanceState* state, uintptr_t new_instance, void* lazy_instance,
                          void (*destructor)(void*)) {
  state->store(new_instance, std::memory_order_release);
  if (destructor)
    AtExitManager::RegisterCallback(destructor, lazy_instance);
}

}  // namespace internal
}  // namespace base
