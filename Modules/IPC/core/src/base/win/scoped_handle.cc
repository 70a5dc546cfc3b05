// The one place where the system closes kernel handles.
#include "base/win/scoped_handle.h"

#include <windows.h>

namespace base {
namespace win {

void CloseNativeHandle(NativeHandle handle) {
  ::CloseHandle(handle);
}

}  // namespace win
}  // namespace base
