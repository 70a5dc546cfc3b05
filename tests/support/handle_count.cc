// Counts open handles by probing the handle table.
#include "support/handle_count.h"

#include <windows.h>

#include <cstdint>

namespace test {

namespace {

// Handle values are table indices times 4, reused lowest first, so the handles of a test
// process stay far below this bound.
const uintptr_t kHandleValueStep = 4;
const uintptr_t kHandleValueLimit = 0x10000;

}  // namespace

int CountOpenHandles() {
  int count = 0;
  for (uintptr_t value = kHandleValueStep; value < kHandleValueLimit; value += kHandleValueStep) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++count;
  }
  return count;
}

}  // namespace test
