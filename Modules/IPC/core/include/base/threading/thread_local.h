// Per-thread values over raw OS thread-local slots: a pointer or a boolean per thread,
// with no destructor run at thread exit.
#ifndef BASE_THREADING_THREAD_LOCAL_H_
#define BASE_THREADING_THREAD_LOCAL_H_

namespace base {
namespace internal {

// One OS TLS index. The calls map one to one onto TlsAlloc, TlsFree, TlsGetValue and
// TlsSetValue; their results are not checked.
struct ThreadLocalPlatform {
  typedef unsigned long SlotType;  // a DWORD TLS index

  static void AllocateSlot(SlotType& slot);
  static void FreeSlot(SlotType slot);
  static void* GetValueFromSlot(SlotType slot);
  static void SetValueInSlot(SlotType slot, void* value);
};

}  // namespace internal

// One pointer per thread, null on every thread until set. The object itself is shared:
// create it before the threads use it and destroy it after they stop. What the pointers
// point to is not owned.
template <typename Type>
class ThreadLocalPointer {
 public:
  ThreadLocalPointer() : slot_() { internal::ThreadLocalPlatform::AllocateSlot(slot_); }
  ~ThreadLocalPointer() { internal::ThreadLocalPlatform::FreeSlot(slot_); }

  ThreadLocalPointer(const ThreadLocalPointer&) = delete;
  ThreadLocalPointer& operator=(const ThreadLocalPointer&) = delete;

  Type* Get() const {
    return static_cast<Type*>(internal::ThreadLocalPlatform::GetValueFromSlot(slot_));
  }

  void Set(Type* pointer) {
    internal::ThreadLocalPlatform::SetValueInSlot(
        slot_, const_cast<void*>(static_cast<const void*>(pointer)));
  }

 private:
  internal::ThreadLocalPlatform::SlotType slot_;
};

// One boolean per thread, false on every thread until set. True is stored as the slot
// object's own address, false as null.
class ThreadLocalBoolean {
 public:
  ThreadLocalBoolean() {}

  ThreadLocalBoolean(const ThreadLocalBoolean&) = delete;
  ThreadLocalBoolean& operator=(const ThreadLocalBoolean&) = delete;

  bool Get() const { return pointer_.Get() != nullptr; }
  void Set(bool value) { pointer_.Set(value ? &pointer_ : nullptr); }

 private:
  ThreadLocalPointer<void> pointer_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_H_
