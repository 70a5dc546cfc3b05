// The machinery behind base::Bind: adapters for functions and methods, the typed bind state
// that stores the bound values, and the invoke function a Callback calls.
// Implementation detail of bind.h.
#ifndef BASE_BIND_INTERNAL_H_
#define BASE_BIND_INTERNAL_H_

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/bind_helpers.h"
#include "base/callback_internal.h"

namespace base {
namespace internal {

template <typename... Ts>
struct TypeList {};

// The list without its first N types.
template <size_t N, typename List, typename = void>
struct DropTypeListItem {
  typedef List Type;
};

template <size_t N, typename T, typename... Ts>
struct DropTypeListItem<N, TypeList<T, Ts...>, typename std::enable_if<(N > 0)>::type>
    : DropTypeListItem<N - 1, TypeList<Ts...>> {};

template <typename R, typename List>
struct MakeFunctionType;

template <typename R, typename... Args>
struct MakeFunctionType<R, TypeList<Args...>> {
  typedef R Type(Args...);
};

template <typename List>
struct TypeListSize;

template <typename... Ts>
struct TypeListSize<TypeList<Ts...>> : std::integral_constant<size_t, sizeof...(Ts)> {};

// The N-th type of a list; void past the end.
template <size_t N, typename List>
struct TypeListAt {
  typedef void Type;
};

template <size_t N, typename T, typename... Ts>
struct TypeListAt<N, TypeList<T, Ts...>> {
  typedef typename std::conditional<N == 0, T,
                                    typename TypeListAt<N - 1, TypeList<Ts...>>::Type>::type
      Type;
};

// A common signature for plain functions and methods: a method takes its receiver as the
// first parameter. Only function and member function pointers can be bound.
template <typename Functor>
class RunnableAdapter;

template <typename R, typename... Args>
class RunnableAdapter<R (*)(Args...)> {
 public:
  typedef R ResultType;
  typedef TypeList<Args...> ParamList;
  static constexpr bool kIsMethod = false;

  explicit RunnableAdapter(R (*function)(Args...)) : function_(function) {}

  template <typename... RunArgs>
  R Run(RunArgs&&... args) const {
    return function_(std::forward<RunArgs>(args)...);
  }

 private:
  R (*function_)(Args...);
};

template <typename R, typename T, typename... Args>
class RunnableAdapter<R (T::*)(Args...)> {
 public:
  typedef R ResultType;
  typedef TypeList<T*, Args...> ParamList;
  static constexpr bool kIsMethod = true;

  explicit RunnableAdapter(R (T::*method)(Args...)) : method_(method) {}

  template <typename... RunArgs>
  R Run(T* object, RunArgs&&... args) const {
    return (object->*method_)(std::forward<RunArgs>(args)...);
  }

 private:
  R (T::*method_)(Args...);
};

template <typename R, typename T, typename... Args>
class RunnableAdapter<R (T::*)(Args...) const> {
 public:
  typedef R ResultType;
  typedef TypeList<const T*, Args...> ParamList;
  static constexpr bool kIsMethod = true;

  explicit RunnableAdapter(R (T::*method)(Args...) const) : method_(method) {}

  template <typename... RunArgs>
  R Run(const T* object, RunArgs&&... args) const {
    return (object->*method_)(std::forward<RunArgs>(args)...);
  }

 private:
  R (T::*method_)(Args...) const;
};

// A bound value is stored by value, so the call may not take it by non-const reference.
template <typename ParamList, size_t... I>
constexpr bool BindsNoNonConstReference(std::index_sequence<I...>) {
  return (true && ... &&
          !(std::is_lvalue_reference<typename TypeListAt<I, ParamList>::Type>::value &&
            !std::is_const<typename std::remove_reference<
                typename TypeListAt<I, ParamList>::Type>::type>::value));
}

template <bool IsMethod, typename Indices, typename... BoundArgs>
struct BoundTuple;

template <bool IsMethod, size_t... I, typename... BoundArgs>
struct BoundTuple<IsMethod, std::index_sequence<I...>, BoundArgs...> {
  typedef std::tuple<typename BoundStorage<IsMethod && I == 0, BoundArgs>::Type...> Type;
};

// One bound call: the function and the bound values (the decayed argument types of Bind).
// Runs may come from several threads at once only if the bound values allow it.
template <typename Functor, typename... BoundArgs>
class BindState : public BindStateBase {
 public:
  typedef RunnableAdapter<Functor> RunnableType;
  typedef typename RunnableType::ResultType ResultType;
  typedef typename RunnableType::ParamList ParamList;
  typedef typename DropTypeListItem<sizeof...(BoundArgs), ParamList>::Type UnboundParamList;
  typedef typename MakeFunctionType<ResultType, UnboundParamList>::Type UnboundRunType;

  static constexpr bool kIsWeakCall =
      RunnableType::kIsMethod &&
      IsWeakPtr<typename TypeListAt<0, TypeList<BoundArgs...>>::Type>::value;

  static_assert(sizeof...(BoundArgs) <= TypeListSize<ParamList>::value,
                "more arguments bound than the function takes");
  static_assert(BindsNoNonConstReference<ParamList>(std::index_sequence_for<BoundArgs...>()),
                "a bound argument cannot be taken by non-const reference");
  static_assert(!kIsWeakCall || std::is_void<ResultType>::value,
                "a call with a weak receiver may be skipped, so it must return void");

  template <typename... Args>
  explicit BindState(Functor functor, Args&&... args)
      : runnable_(functor), bound_(std::forward<Args>(args)...) {}

  template <typename... UnboundArgs>
  ResultType Invoke(UnboundArgs&&... unbound) const {
    return InvokeWithBound(std::index_sequence_for<BoundArgs...>(),
                           std::forward<UnboundArgs>(unbound)...);
  }

 private:
  ~BindState() override {}

  template <size_t... I, typename... UnboundArgs>
  ResultType InvokeWithBound(std::index_sequence<I...>, UnboundArgs&&... unbound) const {
    // Checked before any bound value is unwrapped, so a skipped call consumes nothing.
    if constexpr (kIsWeakCall) {
      if (!std::get<0>(bound_).get())
        return;
    }
    return runnable_.Run(UnwrapBound<I>()..., std::forward<UnboundArgs>(unbound)...);
  }

  template <size_t I>
  decltype(auto) UnwrapBound() const {
    if constexpr (I == 0 && kIsWeakCall)
      return std::get<0>(bound_).get();
    else
      return Unwrap(std::get<I>(bound_));
  }

  RunnableType runnable_;
  typename BoundTuple<RunnableType::kIsMethod, std::index_sequence_for<BoundArgs...>,
                      BoundArgs...>::Type bound_;
};

// The invoke function of a Callback: restores the bind state's type and runs it with the
// unbound arguments.
template <typename StateType, typename UnboundParamList>
struct Invoker;

template <typename StateType, typename... Unbound>
struct Invoker<StateType, TypeList<Unbound...>> {
  static typename StateType::ResultType Run(
      BindStateBase* base,
      typename CallbackParamTraits<Unbound>::ForwardType... unbound) {
    return static_cast<const StateType*>(base)->Invoke(unbound...);
  }
};

}  // namespace internal
}  // namespace base

#endif  // BASE_BIND_INTERNAL_H_
