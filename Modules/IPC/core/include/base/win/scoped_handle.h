// Move-only owners of Win32 kernel handles. Every handle of the system is held by one of
// these, so CloseHandle is called in exactly one place.
#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <cstdint>

namespace base {
namespace win {

typedef void* NativeHandle;  // a Win32 HANDLE, without windows.h

void CloseNativeHandle(NativeHandle handle);

// Events, threads, mutexes, completion ports and processes: "no handle" is NULL.
struct NullHandleTraits {
  static NativeHandle Invalid() { return nullptr; }
};

// Files and pipes: "no handle" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  static NativeHandle Invalid() {
    return reinterpret_cast<NativeHandle>(static_cast<intptr_t>(-1));
  }
};

template <typename Traits>
class GenericScopedHandle {
 public:
  GenericScopedHandle() : handle_(Traits::Invalid()) {}
  explicit GenericScopedHandle(NativeHandle handle) : handle_(Normalize(handle)) {}
  GenericScopedHandle(GenericScopedHandle&& other) : handle_(other.Take()) {}
  GenericScopedHandle& operator=(GenericScopedHandle&& other) {
    if (this != &other)
      Set(other.Take());
    return *this;
  }
  GenericScopedHandle(const GenericScopedHandle&) = delete;
  GenericScopedHandle& operator=(const GenericScopedHandle&) = delete;
  ~GenericScopedHandle() { Close(); }

  bool IsValid() const { return handle_ != Traits::Invalid(); }
  NativeHandle Get() const { return handle_; }

  // Closes the current handle, if any, and owns |handle| instead.
  void Set(NativeHandle handle) {
    Close();
    handle_ = Normalize(handle);
  }

  // Gives up ownership without closing.
  NativeHandle Take() {
    NativeHandle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  void Close() {
    if (IsValid())
      CloseNativeHandle(Take());
  }

 private:
  // Some creators answer NULL and others INVALID_HANDLE_VALUE on failure; both mean
  // "no handle" to an owner.
  static NativeHandle Normalize(NativeHandle handle) {
    if (handle == NullHandleTraits::Invalid() || handle == FileHandleTraits::Invalid())
      return Traits::Invalid();
    return handle;
  }

  NativeHandle handle_;
};

typedef GenericScopedHandle<NullHandleTraits> ScopedHandle;
typedef GenericScopedHandle<FileHandleTraits> ScopedFileHandle;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
