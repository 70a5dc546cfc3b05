// Process-wide objects built on first use, from any thread, in storage of their own; the
// default kind is destroyed by the at-exit manager, the leaky kind never.
//
//   static base::LazyInstance<Registry> g_registry = LAZY_INSTANCE_INITIALIZER;
//   static base::LazyInstance<Flag>::Leaky g_flag = LAZY_INSTANCE_INITIALIZER;
//   g_registry.Get().Add(...);
#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

#include <atomic>
#include <cstdint>
#include <new>

#include "base/logging.h"
#include "base/threading/thread_restrictions.h"

// A LazyInstance is constant-initialised, so it is ready before any static constructor runs.
#define LAZY_INSTANCE_INITIALIZER {}

namespace base {

// Built with Type's default constructor; destroyed when the at-exit manager that was on
// top at construction runs its tasks.
template <typename Type>
struct DefaultLazyInstanceTraits {
  static const bool kRegisterOnExit = true;

  static Type* New(void* storage) { return new (storage) Type(); }
  static void Delete(Type* instance) { instance->~Type(); }
};

namespace internal {

// Never destroyed. Safe on threads that may outlive the at-exit teardown.
template <typename Type>
struct LeakyLazyInstanceTraits {
  static const bool kRegisterOnExit = false;

  static Type* New(void* storage) { return DefaultLazyInstanceTraits<Type>::New(storage); }
  static void Delete(Type*) {}
};

// The state word: 0 before creation, kLazyInstanceStateCreating while one thread builds
// the object, then the object's address. Addresses are compared unsigned: on a
// large-address-aware process they may have the top bit set.
typedef std::atomic<uintptr_t> LazyInstanceState;
const uintptr_t kLazyInstanceStateCreating = 1;

// Claims the creation: true when the caller must build the object and then call
// CompleteLazyInstance; false once another thread has published it (waits while another
// thread is still building it).
bool NeedsLazyInstance(LazyInstanceState* state);

// Publishes |new_instance| and, when |destructor| is given, registers
// |destructor|(|lazy_instance|) with the at-exit manager.
void CompleteLazyInstance(LazyInstanceState* state, uintptr_t new_instance, void* lazy_instance,
                          void (*destructor)(void*));

}  // namespace internal

template <typename Type, typename Traits = DefaultLazyInstanceTraits<Type> >
class LazyInstance {
 public:
  typedef LazyInstance<Type, internal::LeakyLazyInstanceTraits<Type> > Leaky;

  constexpr LazyInstance() : state_(0), storage_{} {}

  LazyInstance(const LazyInstance&) = delete;
  LazyInstance& operator=(const LazyInstance&) = delete;

  Type& Get() { return *Pointer(); }

  Type* Pointer() {
#if DCHECK_IS_ON()
    // An instance destroyed at exit must not be used by a thread that may outlive the
    // teardown; leaky ones serve exactly those threads.
    if (Traits::kRegisterOnExit)
      ThreadRestrictions::AssertSingletonAllowed();
#endif
    if (state_.load(std::memory_order_acquire) <= internal::kLazyInstanceStateCreating &&
        internal::NeedsLazyInstance(&state_)) {
      Type* instance = Traits::New(storage_);
      internal::CompleteLazyInstance(&state_, reinterpret_cast<uintptr_t>(instance), this,
                                     Traits::kRegisterOnExit ? OnExit : nullptr);
    }
    return reinterpret_cast<Type*>(state_.load(std::memory_order_acquire));
  }

 private:
  // Destroys the object and returns to the "not created" state, so that a use after the
  // teardown builds a fresh object instead of touching a destroyed one.
  static void OnExit(void* lazy_instance) {
    LazyInstance* self = static_cast<LazyInstance*>(lazy_instance);
    Traits::Delete(reinterpret_cast<Type*>(self->state_.load(std::memory_order_acquire)));
    self->state_.store(0, std::memory_order_release);
  }

  internal::LazyInstanceState state_;
  alignas(Type) unsigned char storage_[sizeof(Type)];
};

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
