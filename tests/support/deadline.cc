// Polling with a deadline.
#include "support/deadline.h"

#include <windows.h>

#include <cwchar>

namespace test {
namespace {

const DWORD kPollIntervalMs = 20;
const wchar_t kTimeScaleVariable[] = L"LAUNCHER_TEST_TIME_SCALE";

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, unsigned long timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition())
      return true;
    if (GetTickCount64() >= deadline)
      return false;
    Sleep(kPollIntervalMs);
  }
}

unsigned long ScaledMs(unsigned long ms) {
  wchar_t value[16] = {};
  const DWORD length = GetEnvironmentVariableW(kTimeScaleVariable, value, 16);
  const unsigned long scale = length > 0 && length < 16 ? std::wcstoul(value, nullptr, 10) : 0;
  return ms * (scale > 0 ? scale : 1);
}

}  // namespace test
