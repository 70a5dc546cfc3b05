// Conversions between the launcher's UTF-16 text and the UTF-8 bytes of the broker.
#ifndef BASE_UTF_STRING_CONVERSIONS_H_
#define BASE_UTF_STRING_CONVERSIONS_H_

#include <string>

namespace base {

// Ill-formed input is converted with the platform's replacement character, never dropped
// as a whole. Embedded NULs are kept.
std::string WideToUTF8(const std::wstring& wide);
std::wstring UTF8ToWide(const std::string& utf8);

}  // namespace base

#endif  // BASE_UTF_STRING_CONVERSIONS_H_
