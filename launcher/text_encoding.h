// Conversions between the launcher's UTF-16 text and UTF-8 bytes, with the platform's
// converter (code page 65001, no flags: malformed input becomes U+FFFD).
#ifndef LAUNCHER_TEXT_ENCODING_H_
#define LAUNCHER_TEXT_ENCODING_H_

#include <string>

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& bytes);

#endif  // LAUNCHER_TEXT_ENCODING_H_
