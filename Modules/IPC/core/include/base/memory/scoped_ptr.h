// scoped_ptr: the exclusive, move-only owner of one heap object.
#ifndef BASE_MEMORY_SCOPED_PTR_H_
#define BASE_MEMORY_SCOPED_PTR_H_

#include <cstddef>
#include <utility>

// Deletes its object when it dies or is reset. Ownership moves with std::move or Pass();
// a moved-from owner holds nothing.
template <class T>
class scoped_ptr {
 public:
  typedef T element_type;

  scoped_ptr() : ptr_(nullptr) {}
  scoped_ptr(std::nullptr_t) : ptr_(nullptr) {}
  explicit scoped_ptr(T* p) : ptr_(p) {}
  scoped_ptr(scoped_ptr&& other) : ptr_(other.release()) {}
  template <typename U>
  scoped_ptr(scoped_ptr<U>&& other) : ptr_(other.release()) {}
  scoped_ptr(const scoped_ptr&) = delete;
  scoped_ptr& operator=(const scoped_ptr&) = delete;

  ~scoped_ptr() { delete ptr_; }

  scoped_ptr& operator=(scoped_ptr&& other) {
    reset(other.release());
    return *this;
  }
  template <typename U>
  scoped_ptr& operator=(scoped_ptr<U>&& other) {
    reset(other.release());
    return *this;
  }
  scoped_ptr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  // Deletes the current object and owns |p| instead; resetting to the object already
  // owned keeps it.
  void reset(T* p = nullptr) {
    if (p == ptr_)
      return;
    T* old = ptr_;
    ptr_ = p;
    delete old;
  }

  // Gives up ownership without deleting.
  T* release() {
    T* p = ptr_;
    ptr_ = nullptr;
    return p;
  }

  scoped_ptr Pass() { return scoped_ptr(std::move(*this)); }

  T* get() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  bool operator==(const T* p) const { return ptr_ == p; }
  bool operator!=(const T* p) const { return ptr_ != p; }

  void swap(scoped_ptr& other) { std::swap(ptr_, other.ptr_); }

 private:
  T* ptr_;
};

template <class T>
scoped_ptr<T> make_scoped_ptr(T* p) {
  return scoped_ptr<T>(p);
}

#endif  // BASE_MEMORY_SCOPED_PTR_H_
