// The untyped core of base::Callback.
#include "base/callback_internal.h"

namespace base {
namespace internal {

CallbackBase::CallbackBase(BindStateBase* bind_state, InvokeFuncStorage invoke)
    : bind_state_(bind_state), polymorphic_invoke_(invoke) {}

CallbackBase::CallbackBase(const CallbackBase& other) = default;

CallbackBase& CallbackBase::operator=(const CallbackBase& other) = default;

CallbackBase::~CallbackBase() {}

void CallbackBase::Reset() {
  bind_state_ = nullptr;
  polymorphic_invoke_ = nullptr;
}

bool CallbackBase::Equals(const CallbackBase& other) const {
  return bind_state_.get() == other.bind_state_.get() &&
         polymorphic_invoke_ == other.polymorphic_invoke_;
}

}  // namespace internal
}  // namespace base
