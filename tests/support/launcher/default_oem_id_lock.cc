#include "support/launcher/default_oem_id_lock.h"

#include <windows.h>

#include "support/launcher/launcher_run.h"

namespace test {
namespace {

const wchar_t kLockName[] = L"Local\\LauncherTests-DefaultOemId";

}  // namespace

DefaultOemIdLock::DefaultOemIdLock() : mutex_(CreateMutexW(nullptr, FALSE, kLockName)) {
  if (!mutex_.IsValid())
    return;
  // An abandoned lock was held by a test program that died: it is ours now all the same.
  const DWORD wait = WaitForSingleObject(mutex_.Get(), kLauncherRunTimeoutMs);
  held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

DefaultOemIdLock::~DefaultOemIdLock() {
  if (held_)
    ReleaseMutex(mutex_.Get());
}

}  // namespace test
