// base::Bind: makes a Callback from a function or method and its leading arguments.
#ifndef BASE_BIND_H_
#define BASE_BIND_H_

#include <type_traits>
#include <utility>

#include "base/bind_internal.h"
#include "base/callback.h"

namespace base {

// Bind(&Function, a, b) or Bind(&Class::Method, receiver, a, b): the callback runs the call
// with these arguments first and the arguments of Run after them. The arguments are stored
// now; see bind_helpers.h for how receivers, references and wrappers are held.
template <typename Functor, typename... Args>
Callback<typename internal::BindState<Functor, typename std::decay<Args>::type...>::UnboundRunType>
Bind(Functor functor, Args&&... args) {
  typedef internal::BindState<Functor, typename std::decay<Args>::type...> State;
  typedef internal::Invoker<State, typename State::UnboundParamList> InvokerType;
  return Callback<typename State::UnboundRunType>(new State(functor, std::forward<Args>(args)...),
                                                  &InvokerType::Run);
}

}  // namespace base

#endif  // BASE_BIND_H_
