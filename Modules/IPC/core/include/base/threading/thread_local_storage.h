// Thread-local slots with destructors: each thread's values of a slot are handed to the
// slot's destructor when the thread ends.
#ifndef BASE_THREADING_THREAD_LOCAL_STORAGE_H_
#define BASE_THREADING_THREAD_LOCAL_STORAGE_H_

namespace base {

// All slots share one OS TLS index, under which each thread keeps an array of
// kThreadLocalStorageSize values, made on the thread's first use. Slot 0 is never handed
// out and a slot index is never reused, so at most 63 slots exist per process.
//
// Destructors run on the ending thread, from the executable's TLS callback, at thread
// detach and at process detach. A destructor may store values in other slots; those are
// destroyed in a further pass, up to kMaxDestructorPasses passes.
class ThreadLocalStorage {
 public:
  typedef void (*TLSDestructorFunc)(void* value);

  static const int kThreadLocalStorageSize = 64;
  static const int kMaxDestructorPasses = 64;

  // A slot that a static object can hold: constant-initialised, with no constructor code
  // to run and nothing to destroy at exit. Initialize it before first use; Initialize and
  // Free must not race with other uses of the same slot.
  class StaticSlot {
   public:
    constexpr StaticSlot() : initialized_(false), slot_(0) {}

    // Takes the next free index and records |destructor| (null for none). Returns false,
    // leaving the slot uninitialised, once every index is taken.
    bool Initialize(TLSDestructorFunc destructor);

    // Forgets the destructor. Values still stored are not destroyed.
    void Free();

    // The calling thread's value, null until it sets one.
    void* Get() const;
    void Set(void* value);

    bool initialized() const { return initialized_; }

   private:
    bool initialized_;
    int slot_;
  };

  // A StaticSlot that initialises itself; for slots with a lifetime of their own.
  class Slot : public StaticSlot {
   public:
    explicit Slot(TLSDestructorFunc destructor = nullptr) { Initialize(destructor); }

    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
  };

  // Runs the calling thread's destructors and drops its array. Called by the TLS
  // callback as the thread (or the process) detaches.
  static void ThreadExit();

  ThreadLocalStorage() = delete;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_STORAGE_H_
