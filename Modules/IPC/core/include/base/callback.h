// base::Callback: a function or method with some of its arguments bound, made by base::Bind,
// copied cheaply and run later, possibly on another thread.
#ifndef BASE_CALLBACK_H_
#define BASE_CALLBACK_H_

#include "base/callback_forward.h"
#include "base/callback_internal.h"
#include "base/logging.h"

namespace base {

// The typed face of CallbackBase. Run takes the unbound trailing arguments of the bound call.
// Copies share the bind state: bound arguments are never copied after binding.
template <typename R, typename... Args>
class Callback<R(Args...)> : public internal::CallbackBase {
 public:
  typedef R RunType(Args...);
  typedef R (*PolymorphicInvoke)(internal::BindStateBase*,
                                 typename internal::CallbackParamTraits<Args>::ForwardType...);

  Callback() : CallbackBase(nullptr, nullptr) {}

  // Used by Bind: |invoke| knows the concrete type of |bind_state|.
  Callback(internal::BindStateBase* bind_state, PolymorphicInvoke invoke)
      : CallbackBase(bind_state, reinterpret_cast<InvokeFuncStorage>(invoke)) {}

  bool Equals(const Callback& other) const { return CallbackBase::Equals(other); }

  R Run(typename internal::CallbackParamTraits<Args>::ForwardType... args) const {
    DCHECK(!is_null());
    PolymorphicInvoke invoke = reinterpret_cast<PolymorphicInvoke>(polymorphic_invoke_);
    return invoke(bind_state_.get(), args...);
  }
};

}  // namespace base

#endif  // BASE_CALLBACK_H_
