// Wrappers that change how Bind holds an argument (Unretained, Owned, Passed) and the rules
// by which a bind state hands its bound values to the call.
#ifndef BASE_BIND_HELPERS_H_
#define BASE_BIND_HELPERS_H_

#include <type_traits>
#include <utility>

#include "base/logging.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"

namespace base {
namespace internal {

// A raw pointer held without a reference: the caller guarantees the object outlives every
// run of the callback.
template <typename T>
class UnretainedWrapper {
 public:
  explicit UnretainedWrapper(T* o) : ptr_(o) {}
  T* get() const { return ptr_; }

 private:
  T* ptr_;
};

// A raw pointer the bind state owns: the object dies with the state.
template <typename T>
class OwnedWrapper {
 public:
  explicit OwnedWrapper(T* o) : ptr_(o) {}
  OwnedWrapper(OwnedWrapper&& other) : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  OwnedWrapper(const OwnedWrapper&) = delete;
  OwnedWrapper& operator=(const OwnedWrapper&) = delete;
  ~OwnedWrapper() { delete ptr_; }

  T* get() const { return ptr_; }

 private:
  T* ptr_;
};

// A move-only owner (scoped_ptr) whose object moves into the call. The first run takes it;
// a second run is a programming error and fails a check.
template <typename T>
class PassedWrapper {
 public:
  explicit PassedWrapper(T scoper) : is_valid_(true), scoper_(std::move(scoper)) {}
  PassedWrapper(PassedWrapper&& other)
      : is_valid_(other.is_valid_), scoper_(std::move(other.scoper_)) {
    other.is_valid_ = false;
  }
  PassedWrapper(const PassedWrapper&) = delete;
  PassedWrapper& operator=(const PassedWrapper&) = delete;

  // Runs go through a const bind state, hence the mutable members.
  T Pass() const;

 private:
  mutable bool is_valid_;
  mutable T scoper_;
};

// Whether T has AddRef and Release, callable on a const object as RefCountedThreadSafe
// allows.
template <typename T, typename = void>
struct IsRefCountedType : std::false_type {};

template <typename T>
struct IsRefCountedType<T,
                        decltype(std::declval<const T*>()->AddRef(),
                                 std::declval<const T*>()->Release(), void())>
    : std::true_type {};

template <typename T>
struct IsWeakPtr : std::false_type {};

template <typename T>
struct IsWeakPtr<WeakPtr<T>> : std::true_type {};

// How a bound value is stored. A raw pointer receiver must be reference counted: the state
// holds a reference to it for as long as it lives.
template <bool IsReceiver, typename T>
struct BoundStorage {
  typedef T Type;
};

template <typename T>
struct BoundStorage<true, T*> {
  static_assert(IsRefCountedType<T>::value,
                "a raw pointer receiver must be reference counted; "
                "bind base::Unretained(p) or a WeakPtr instead");
  typedef scoped_refptr<T> Type;
};

// What the call receives for a stored value: a copy is passed by const reference, wrappers
// and references unwrap to raw pointers, a Passed owner moves its object out.
template <typename T>
const T& Unwrap(const T& o) {
  return o;
}

template <typename T>
T* Unwrap(const UnretainedWrapper<T>& unretained) {
  return unretained.get();
}

template <typename T>
T* Unwrap(const OwnedWrapper<T>& owned) {
  return owned.get();
}

template <typename T>
T* Unwrap(const scoped_refptr<T>& ref) {
  return ref.get();
}

template <typename T>
T Unwrap(const PassedWrapper<T>& passed) {
  return passed.Pass();
}

}  // namespace internal

template <typename T>
internal::UnretainedWrapper<T> Unretained(T* o) {
  return internal::UnretainedWrapper<T>(o);
}

template <typename T>
internal::OwnedWrapper<T> Owned(T* o) {
  return internal::OwnedWrapper<T>(o);
}

// Passed(&owner) empties |owner| now; Passed(std::move(owner)) takes a temporary.
template <typename T>
internal::PassedWrapper<T> Passed(T* scoper) {
  return internal::PassedWrapper<T>(std::move(*scoper));
}

template <typename T,
          typename = typename std::enable_if<!std::is_lvalue_reference<T>::value &&
                                             !std::is_pointer<T>::value>::type>
internal::PassedWrapper<T> Passed(T&& scoper) {
  return internal::PassedWrapper<T>(std::move(scoper));
}

namespace internal {

template <typename T>
T PassedWrapper<T>::Pass() const {
// Crash reports of a second run of a passed callback are matched by this file and line, so
// the check keeps reporting line 380 wherever it sits in the file.
#line 380
  CHECK(is_valid_);
  is_valid_ = false;
  return std::move(scoper_);
}

}  // namespace internal
}  // namespace base

#endif  // BASE_BIND_HELPERS_H_
