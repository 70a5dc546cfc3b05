// The committed memory of the test process, as the system counts it.
#include "support/process_memory.h"

#include <windows.h>

#include <psapi.h>

namespace test {

size_t CommittedBytes() {
  // The commit charge; Wine leaves the newer PrivateUsage, which counts the same, at 0.
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
    return 0;
  return counters.PagefileUsage;
}

}  // namespace test
