// The demo client's quit event and the request to end a running client.
#include "VeskGame/client_control.h"

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "launcher/instance_names.h"

std::wstring ClientQuitEventName(const std::wstring& oemId, const std::wstring& userId) {
  return L"Global\\Quit-" + ClientChannelName(oemId, userId);
}

bool RequestClientQuit(const std::wstring& oemId, const std::wstring& userId,
                       unsigned long timeoutMs) {
  base::win::ScopedHandle quit(
      OpenEventW(EVENT_MODIFY_STATE, FALSE, ClientQuitEventName(oemId, userId).c_str()));
  base::win::ScopedHandle mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, ClientMutexName(oemId, userId).c_str()));
  if (!quit.IsValid() || !mutex.IsValid())
    return false;
  SetEvent(quit.Get());
  // The client gives its mutex up as the last thing it does; an abandoned mutex means it
  // ended without doing so. Either way this thread now owns it and lets it go.
  const DWORD wait = WaitForSingleObject(mutex.Get(), timeoutMs);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
    return false;
  ReleaseMutex(mutex.Get());
  return true;
}
