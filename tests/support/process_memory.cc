// The committed memory of the test process, as the system counts it.
#include "support/process_memory.h"

#include <windows.h>

#include <psapi.h>

namespace test {

size_t CommittedBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof(counters)))
    return 0;
  return counters.PrivateUsage;
}

}  // namespace test
