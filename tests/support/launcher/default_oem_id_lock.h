// The launcher's default OEM id names one launcher mutex and one client mutex and channel for
// every test program: tests that run the launcher without "-oemid" take turns through this
// lock, held across the suites of both builds, which share one Wine prefix.
#ifndef SUPPORT_LAUNCHER_DEFAULT_OEM_ID_LOCK_H_
#define SUPPORT_LAUNCHER_DEFAULT_OEM_ID_LOCK_H_

#include "base/win/scoped_handle.h"

namespace test {

class DefaultOemIdLock {
 public:
  // Waits until no other test holds the lock, at most as long as one launcher run may take.
  DefaultOemIdLock();
  ~DefaultOemIdLock();
  DefaultOemIdLock(const DefaultOemIdLock&) = delete;
  DefaultOemIdLock& operator=(const DefaultOemIdLock&) = delete;

  bool IsHeld() const { return held_; }

 private:
  base::win::ScopedHandle mutex_;
  bool held_ = false;
};

}  // namespace test

#endif  // SUPPORT_LAUNCHER_DEFAULT_OEM_ID_LOCK_H_
