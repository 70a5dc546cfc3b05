// UTF-16 to UTF-8 and back through the platform's code page 65001.
#include "base/utf_string_conversions.h"

#include <windows.h>

namespace base {

std::string WideToUTF8(const std::wstring& wide) {
  if (wide.empty())
    return std::string();
  const int wide_length = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0)
    return std::string();
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &utf8[0], length, nullptr, nullptr);
  return utf8;
}

std::wstring UTF8ToWide(const std::string& utf8) {
  if (utf8.empty())
    return std::wstring();
  const int utf8_length = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8_length, nullptr, 0);
  if (length <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8_length, &wide[0], length);
  return wide;
}

}  // namespace base
