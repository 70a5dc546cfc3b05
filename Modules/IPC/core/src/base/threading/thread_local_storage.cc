// Thread-local slots with destructors over one OS TLS index, and the executable's TLS
// callback that runs the destructors as threads end.
#include "base/threading/thread_local_storage.h"

#include <windows.h>

#include <cstring>

#include "base/logging.h"

namespace base {

namespace {

typedef ThreadLocalStorage::TLSDestructorFunc TLSDestructorFunc;
const int kSlotCount = ThreadLocalStorage::kThreadLocalStorageSize;

// The OS index under which every thread keeps its array of values; TLS_OUT_OF_INDEXES
// until the first thread needs one.
volatile LONG g_tls_key = static_cast<LONG>(TLS_OUT_OF_INDEXES);

// The next index to hand out. Index 0 is never handed out, and the counter stops at
// kSlotCount, so it always bounds the arrays.
volatile LONG g_tls_max = 1;

// Per slot index; written by Initialize and Free, read as threads end.
TLSDestructorFunc g_tls_destructors[kSlotCount];

DWORD TlsKey() {
  return static_cast<DWORD>(g_tls_key);
}

// Creates the process-wide index if no thread has yet. Of two threads racing here, the
// loser frees its own index and uses the winner's.
DWORD EnsureTlsKey() {
  DWORD key = TlsKey();
  if (key != TLS_OUT_OF_INDEXES)
    return key;
  key = ::TlsAlloc();
  CHECK(key != TLS_OUT_OF_INDEXES) << "no TLS index left";
  LONG previous = ::InterlockedCompareExchange(&g_tls_key, static_cast<LONG>(key),
                                               static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (previous != static_cast<LONG>(TLS_OUT_OF_INDEXES)) {
    ::TlsFree(key);
    key = static_cast<DWORD>(previous);
  }
  return key;
}

// The calling thread's array of values, made zeroed on its first use.
void** ThreadValues() {
  DWORD key = EnsureTlsKey();
  void** values = static_cast<void**>(::TlsGetValue(key));
  if (!values) {
    values = new void*[kSlotCount]();
    ::TlsSetValue(key, values);
  }
  return values;
}

// Takes the next index, or answers -1 once all are taken.
int TakeSlotIndex() {
  LONG next = g_tls_max;
  while (next < kSlotCount) {
    LONG seen = ::InterlockedCompareExchange(&g_tls_max, next + 1, next);
    if (seen == next)
      return static_cast<int>(next);
    next = seen;
  }
  return -1;
}

// One walk over the slots, highest index first: each value with a destructor is cleared,
// then destroyed. Answers whether any destructor ran.
bool RunDestructorPass(void** values) {
  bool destructor_ran = false;
  for (int slot = static_cast<int>(g_tls_max) - 1; slot > 0; --slot) {
    void* value = values[slot];
    TLSDestructorFunc destructor = g_tls_destructors[slot];
    if (!value || !destructor)
      continue;
    values[slot] = nullptr;
    destructor(value);
    destructor_ran = true;
  }
  return destructor_ran;
}

void NTAPI OnThreadExit(PVOID /*module*/, DWORD reason, PVOID /*reserved*/) {
  if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH)
    ThreadLocalStorage::ThreadExit();
}

}  // namespace

// The loader calls every pointer between the CRT's .CRT$XLA and .CRT$XLZ markers on thread
// and process attach and detach. No code refers to this definition: the runtime's build
// makes every program and DLL that links the runtime include it.
#if defined(_MSC_VER)
#if defined(_WIN64)
#pragma comment(linker, "/INCLUDE:_tls_used")
#pragma comment(linker, "/INCLUDE:p_thread_callback_base")
#else
#pragma comment(linker, "/INCLUDE:__tls_used")
#pragma comment(linker, "/INCLUDE:_p_thread_callback_base")
#endif
#pragma section(".CRT$XLB", read)
extern "C" __declspec(allocate(".CRT$XLB")) const PIMAGE_TLS_CALLBACK p_thread_callback_base =
    OnThreadExit;
#else
// MinGW's tlssup provides the TLS directory and the markers; "used" keeps the otherwise
// unreferenced pointer in the object file.
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK
    p_thread_callback_base = OnThreadExit;
#endif

bool ThreadLocalStorage::StaticSlot::Initialize(TLSDestructorFunc destructor) {
  int slot = TakeSlotIndex();
  if (slot < 0)
    return false;
  g_tls_destructors[slot] = destructor;
  slot_ = slot;
  initialized_ = true;
  return true;
}

void ThreadLocalStorage::StaticSlot::Free() {
  DCHECK(initialized_);
  g_tls_destructors[slot_] = nullptr;
  slot_ = 0;
  initialized_ = false;
}

void* ThreadLocalStorage::StaticSlot::Get() const {
  DCHECK(initialized_);
  return ThreadValues()[slot_];
}

void ThreadLocalStorage::StaticSlot::Set(void* value) {
  DCHECK(initialized_);
  ThreadValues()[slot_] = value;
}

// static
void ThreadLocalStorage::ThreadExit() {
  DWORD key = TlsKey();
  if (key == TLS_OUT_OF_INDEXES)
    return;
  void** heap_values = static_cast<void**>(::TlsGetValue(key));
  if (!heap_values)
    return;
  // Destructors may store values in other slots, so the index stays valid while they
  // run, pointing at a copy on this stack; the heap array can go at once.
  void* values[kSlotCount];
  std::memcpy(values, heap_values, sizeof(values));
  ::TlsSetValue(key, values);
  delete[] heap_values;
  for (int pass = 0; pass < kMaxDestructorPasses; ++pass) {
    if (!RunDestructorPass(values))
      break;
  }
  ::TlsSetValue(key, nullptr);
}

}  // namespace base
