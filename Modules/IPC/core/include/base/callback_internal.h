// The untyped core of base::Callback: a shared bind state and the function that invokes it.
// Implementation detail of callback.h and bind.h.
#ifndef BASE_CALLBACK_INTERNAL_H_
#define BASE_CALLBACK_INTERNAL_H_

#include <type_traits>

#include "base/memory/ref_counted.h"

namespace base {
namespace internal {

// The heap object behind a bound call: the function and the bound arguments. Callbacks copied
// from one another share it; the last one to go destroys it, and with it the bound values.
// Created, run and destroyed on any threads: only the count is shared.
class BindStateBase : public RefCountedThreadSafe<BindStateBase> {
 protected:
  BindStateBase() {}
  virtual ~BindStateBase() {}

 private:
  friend class RefCountedThreadSafe<BindStateBase>;
};

// Holds one reference to a bind state and the invoke function chosen by Bind, stored untyped;
// the typed Callback casts it back.
class CallbackBase {
 public:
  // A null callback has no bind state and must not be run.
  bool is_null() const { return !bind_state_; }

  // Drops the reference to the bind state and forgets the invoke function.
  void Reset();

 protected:
  typedef void (*InvokeFuncStorage)();

  // Takes a reference to |bind_state|, which may be null.
  CallbackBase(BindStateBase* bind_state, InvokeFuncStorage invoke);
  CallbackBase(const CallbackBase& other);
  CallbackBase& operator=(const CallbackBase& other);
  ~CallbackBase();

  // True when both refer to the same bind state through the same invoke function.
  bool Equals(const CallbackBase& other) const;

  scoped_refptr<BindStateBase> bind_state_;
  InvokeFuncStorage polymorphic_invoke_;
};

// How Run receives a parameter of type T: scalars by value, references as declared,
// everything else by const reference so that Run copies nothing.
template <typename T>
struct CallbackParamTraits {
  typedef typename std::conditional<std::is_scalar<T>::value, T, const T&>::type ForwardType;
};

template <typename T>
struct CallbackParamTraits<T&> {
  typedef T& ForwardType;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_CALLBACK_INTERNAL_H_
