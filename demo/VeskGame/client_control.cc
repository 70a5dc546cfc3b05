// The demo client's quit event and the request to end a running client.
#include "VeskGame/client_control.h"

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "launcher/instance_names.h"

std::wstring ClientQuitEventName(const std::wstring& oem_id, const std::wstring& user_id) {
  return L"Global\\Quit-" + ClientChannelName(oem_id, user_id);
}

bool RequestClientQuit(const std::wstring& oem_id, const std::wstring& user_id,
                       unsigned long timeout_ms) {
  base::win::ScopedHandle quit(
      OpenEventW(EVENT_MODIFY_STATE, FALSE, ClientQuitEventName(oem_id, user_id).c_str()));
  base::win::ScopedHandle mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, ClientMutexName(oem_id, user_id).c_str()));
  if (!quit.IsValid() || !mutex.IsValid())
    return false;
  SetEvent(quit.Get());
  // The client gives its mutex up as the last thing it does; an abandoned mutex means it
  // ended without doing so. Either way this thread now owns it and lets it go.
  const DWORD wait = WaitForSingleObject(mutex.Get(), timeout_ms);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
    return false;
  ReleaseMutex(mutex.Get());
  return true;
}
