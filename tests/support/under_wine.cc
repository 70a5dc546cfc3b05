// Detects Wine by the export that only its ntdll has.
#include "support/under_wine.h"

#include <windows.h>

namespace test {

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace test
