// Weak pointers: references to an object that its owner can invalidate, after which every
// weak pointer reads as null. They never keep the object alive.
#ifndef BASE_MEMORY_WEAK_PTR_H_
#define BASE_MEMORY_WEAK_PTR_H_

#include "base/logging.h"
#include "base/memory/ref_counted.h"
#include "base/threading/thread_checker_impl.h"

namespace base {

template <typename T>
class SupportsWeakPtr;
template <typename T>
class WeakPtr;
template <typename T>
class WeakPtrFactory;

namespace internal {

// A reference to the validity flag of an owner.
class WeakReference {
 public:
  // Shared by an owner and its weak references. Validity is a plain bool: it is read and
  // cleared on the thread that owns the object; the thread checker serves debug checks only.
  class Flag : public RefCountedThreadSafe<Flag> {
   public:
    Flag();

    void Invalidate();
    bool IsValid() const;

    // Lets the next use bind the flag to whichever thread makes it.
    void DetachFromThread();

   private:
    friend class RefCountedThreadSafe<Flag>;
    ~Flag();

    bool is_valid_;
    ThreadCheckerImpl thread_checker_;
  };

  WeakReference();
  explicit WeakReference(const Flag* flag);
  ~WeakReference();

  bool is_valid() const;

 private:
  scoped_refptr<const Flag> flag_;
};

// Hands out references to one flag. Invalidating drops the flag, so the references out
// read invalid and the next GetRef starts a fresh one. Single-threaded, like its object.
class WeakReferenceOwner {
 public:
  WeakReferenceOwner();
  ~WeakReferenceOwner();  // invalidates

  // Starts a fresh flag first when none is held or no reference to it is outstanding.
  WeakReference GetRef() const;

  // True while a reference to the current flag is outstanding.
  bool HasRefs() const;

  void Invalidate();

  void DetachFromThread();

 private:
  WeakReferenceOwner(const WeakReferenceOwner&) = delete;
  WeakReferenceOwner& operator=(const WeakReferenceOwner&) = delete;

  mutable scoped_refptr<WeakReference::Flag> flag_;
};

// The untyped part of WeakPtr<T>.
class WeakPtrBase {
 public:
  WeakPtrBase();
  ~WeakPtrBase();

 protected:
  explicit WeakPtrBase(const WeakReference& ref);

  WeakReference ref_;
};

}  // namespace internal

// The object's pointer while its owner has not invalidated it, null afterwards.
template <typename T>
class WeakPtr : public internal::WeakPtrBase {
 public:
  WeakPtr() : ptr_(nullptr) {}

  // From a weak pointer to a derived class.
  template <typename U>
  WeakPtr(const WeakPtr<U>& other) : WeakPtrBase(other), ptr_(other.ptr_) {}

  T* get() const { return ref_.is_valid() ? ptr_ : nullptr; }
  T* operator->() const {
    DCHECK(get() != nullptr);
    return get();
  }
  T& operator*() const {
    DCHECK(get() != nullptr);
    return *get();
  }
  explicit operator bool() const { return get() != nullptr; }

  void reset() {
    ref_ = internal::WeakReference();
    ptr_ = nullptr;
  }

 private:
  template <typename U>
  friend class WeakPtr;
  friend class SupportsWeakPtr<T>;
  friend class WeakPtrFactory<T>;

  WeakPtr(const internal::WeakReference& ref, T* ptr) : WeakPtrBase(ref), ptr_(ptr) {}

  // Only meaningful while ref_ is valid.
  T* ptr_;
};

// A base for classes that hand out weak pointers to themselves. The pointers turn null when
// the object is destroyed.
template <class T>
class SupportsWeakPtr {
 public:
  SupportsWeakPtr() {}

  WeakPtr<T> AsWeakPtr() {
    return WeakPtr<T>(weak_reference_owner_.GetRef(), static_cast<T*>(this));
  }

  // For an object created on one thread and used on another from then on.
  void DetachFromThread() { weak_reference_owner_.DetachFromThread(); }

 protected:
  ~SupportsWeakPtr() {}

 private:
  SupportsWeakPtr(const SupportsWeakPtr&) = delete;
  SupportsWeakPtr& operator=(const SupportsWeakPtr&) = delete;

  internal::WeakReferenceOwner weak_reference_owner_;
};

// A member of a class that hands out weak pointers to it and may invalidate them all while
// the object lives on. Declare it last, so that it invalidates before the other members die.
template <class T>
class WeakPtrFactory {
 public:
  explicit WeakPtrFactory(T* ptr) : ptr_(ptr) {}
  ~WeakPtrFactory() { ptr_ = nullptr; }

  WeakPtr<T> GetWeakPtr() { return WeakPtr<T>(weak_reference_owner_.GetRef(), ptr_); }

  void InvalidateWeakPtrs() { weak_reference_owner_.Invalidate(); }

  bool HasWeakPtrs() const { return weak_reference_owner_.HasRefs(); }

  void DetachFromThread() { weak_reference_owner_.DetachFromThread(); }

 private:
  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;

  internal::WeakReferenceOwner weak_reference_owner_;
  T* ptr_;
};

}  // namespace base

#endif  // BASE_MEMORY_WEAK_PTR_H_
