// Thread-safe reference counting with per-type destruction policies, and scoped_refptr, the
// holder through which every shared object of the runtime is kept.
#ifndef BASE_MEMORY_REF_COUNTED_H_
#define BASE_MEMORY_REF_COUNTED_H_

#include <cstddef>
#include <utility>

namespace base {
namespace subtle {

// The count itself. Any thread may add and release references; the count is changed with
// interlocked operations only.
class RefCountedThreadSafeBase {
 public:
  RefCountedThreadSafeBase(const RefCountedThreadSafeBase&) = delete;
  RefCountedThreadSafeBase& operator=(const RefCountedThreadSafeBase&) = delete;

  // A plain read: exact only while no other thread can add or drop a reference.
  bool HasOneRef() const;

 protected:
  RefCountedThreadSafeBase();
  ~RefCountedThreadSafeBase();

  void AddRef() const;

  // Answers true when the last reference went away; the caller then destroys the object.
  bool Release() const;

 private:
  // A Win32 LONG, 32 bits signed, so that the interlocked functions work on it directly.
  mutable volatile long ref_count_;
};

}  // namespace subtle

template <class T, typename Traits>
class RefCountedThreadSafe;

// Deletes the object. A class with a private destructor befriends RefCountedThreadSafe<T>.
template <typename T>
struct DefaultRefCountedThreadSafeTraits {
  static void Destruct(const T* x) {
    RefCountedThreadSafe<T, DefaultRefCountedThreadSafeTraits<T>>::DeleteInternal(x);
  }
};

// Base of every thread-safe reference-counted class T. When the last reference is released,
// Traits::Destruct(const T*) decides what happens: another traits type may, for instance,
// delete the object on a particular thread instead of the releasing one.
template <class T, typename Traits = DefaultRefCountedThreadSafeTraits<T>>
class RefCountedThreadSafe : public subtle::RefCountedThreadSafeBase {
 public:
  RefCountedThreadSafe() {}

  void AddRef() const { subtle::RefCountedThreadSafeBase::AddRef(); }

  void Release() const {
    if (subtle::RefCountedThreadSafeBase::Release())
      Traits::Destruct(static_cast<const T*>(this));
  }

 protected:
  ~RefCountedThreadSafe() {}

 private:
  friend struct DefaultRefCountedThreadSafeTraits<T>;
  static void DeleteInternal(const T* x) { delete x; }
};

}  // namespace base

// Holds one reference to a reference-counted object (anything with AddRef and Release).
// Assignment takes the new reference before dropping the old one, so assigning a pointer to
// itself is safe.
template <class T>
class scoped_refptr {
 public:
  typedef T element_type;

  scoped_refptr() : ptr_(nullptr) {}
  scoped_refptr(std::nullptr_t) : ptr_(nullptr) {}
  scoped_refptr(T* p) : ptr_(p) { AddRefIfAny(ptr_); }
  scoped_refptr(const scoped_refptr<T>& r) : ptr_(r.ptr_) { AddRefIfAny(ptr_); }
  template <typename U>
  scoped_refptr(const scoped_refptr<U>& r) : ptr_(r.get()) { AddRefIfAny(ptr_); }
  scoped_refptr(scoped_refptr<T>&& r) : ptr_(r.ptr_) { r.ptr_ = nullptr; }
  template <typename U>
  scoped_refptr(scoped_refptr<U>&& r) : ptr_(r.ptr_) {
    r.ptr_ = nullptr;
  }

  ~scoped_refptr() { ReleaseIfAny(ptr_); }

  T* get() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  scoped_refptr<T>& operator=(T* p) {
    AddRefIfAny(p);
    T* old = ptr_;
    ptr_ = p;
    ReleaseIfAny(old);
    return *this;
  }
  scoped_refptr<T>& operator=(const scoped_refptr<T>& r) { return *this = r.ptr_; }
  template <typename U>
  scoped_refptr<T>& operator=(const scoped_refptr<U>& r) { return *this = r.get(); }
  scoped_refptr<T>& operator=(scoped_refptr<T>&& r) {
    scoped_refptr<T>(std::move(r)).swap(*this);
    return *this;
  }
  template <typename U>
  scoped_refptr<T>& operator=(scoped_refptr<U>&& r) {
    scoped_refptr<T>(std::move(r)).swap(*this);
    return *this;
  }

  // Exchanges the held pointer with *pp, references travelling with the pointers.
  void swap(T** pp) {
    T* p = ptr_;
    ptr_ = *pp;
    *pp = p;
  }
  void swap(scoped_refptr<T>& r) { swap(&r.ptr_); }

 private:
  template <typename U>
  friend class scoped_refptr;

  static void AddRefIfAny(T* p) {
    if (p)
      p->AddRef();
  }
  static void ReleaseIfAny(T* p) {
    if (p)
      p->Release();
  }

  T* ptr_;
};

template <typename T, typename U>
bool operator==(const scoped_refptr<T>& a, const scoped_refptr<U>& b) {
  return a.get() == b.get();
}
template <typename T, typename U>
bool operator!=(const scoped_refptr<T>& a, const scoped_refptr<U>& b) {
  return !(a == b);
}
template <typename T, typename U>
bool operator==(const scoped_refptr<T>& a, const U* b) {
  return a.get() == b;
}
template <typename T, typename U>
bool operator==(const U* a, const scoped_refptr<T>& b) {
  return a == b.get();
}
template <typename T, typename U>
bool operator!=(const scoped_refptr<T>& a, const U* b) {
  return !(a == b);
}
template <typename T, typename U>
bool operator!=(const U* a, const scoped_refptr<T>& b) {
  return !(a == b);
}
template <typename T>
bool operator==(const scoped_refptr<T>& a, std::nullptr_t) {
  return !a;
}
template <typename T>
bool operator==(std::nullptr_t, const scoped_refptr<T>& b) {
  return !b;
}
template <typename T>
bool operator!=(const scoped_refptr<T>& a, std::nullptr_t) {
  return static_cast<bool>(a);
}
template <typename T>
bool operator!=(std::nullptr_t, const scoped_refptr<T>& b) {
  return static_cast<bool>(b);
}
// Ordering by address, so that holders can key ordered containers.
template <typename T, typename U>
bool operator<(const scoped_refptr<T>& a, const scoped_refptr<U>& b) {
  return a.get() < b.get();
}

// Deduces T: make_scoped_refptr(new Foo(...)).
template <typename T>
scoped_refptr<T> make_scoped_refptr(T* t) {
  return scoped_refptr<T>(t);
}

#endif  // BASE_MEMORY_REF_COUNTED_H_
