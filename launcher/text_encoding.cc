// UTF-16 <-> UTF-8 through WideCharToMultiByte / MultiByteToWideChar.
#include "launcher/text_encoding.h"

#include <windows.h>

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty())
    return std::string();
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0,
                                       nullptr, nullptr);
  std::string bytes(size, '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &bytes[0], size, nullptr, nullptr);
  return bytes;
}

std::wstring Utf8ToWide(const std::string& bytes) {
  if (bytes.empty())
    return std::wstring();
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
  std::wstring text(size, L'\0');
  if (size > 0)
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, &text[0], size);
  return text;
}
