// Forward declarations of the callback types, for headers that only pass callbacks along.
#ifndef BASE_CALLBACK_FORWARD_H_
#define BASE_CALLBACK_FORWARD_H_

namespace base {

template <typename Sig>
class Callback;

typedef Callback<void()> Closure;

}  // namespace base

#endif  // BASE_CALLBACK_FORWARD_H_
