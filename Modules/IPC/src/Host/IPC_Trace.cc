// Building the module's trace lines.
#include "Host/IPC_Trace.h"

#include <cstdarg>
#include <cwchar>

namespace {

const size_t kMaxTraceMessageLength = 499;

}  // namespace

std::wstring IPC_Trace(const char* function, int line, const wchar_t* format, ...) {
  wchar_t message[kMaxTraceMessageLength + 1] = {};
  va_list args;
  va_start(args, format);
  vswprintf(message, kMaxTraceMessageLength + 1, format, args);
  va_end(args);
  return L"[SECCLI:IPC][" + std::wstring(function, function + std::char_traits<char>::length(function)) +
         L"][line:" + std::to_wstring(line) + L"]" + message;
}
