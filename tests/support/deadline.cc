// Polling with a deadline.
#include "support/deadline.h"

#include <windows.h>

namespace test {
namespace {

const DWORD kPollIntervalMs = 20;

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

}  // namespace test
