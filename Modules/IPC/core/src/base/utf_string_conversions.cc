// UTF-16 to UTF-8 and back through the platform's code page 65001.
#include "base/utf_string_conversions.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace base {

#if defined(_WIN32)

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

#else  // The native build of the platform-free code, where wchar_t holds code points.

namespace {

const char32_t kReplacementCharacter = 0xFFFD;

bool IsScalarValue(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (!IsScalarValue(c))
    c = kReplacementCharacter;
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int trail_count = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static const unsigned char kLeadMarks[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLeadMarks[trail_count] | (c >> (6 * trail_count)));
  for (int shift = 6 * (trail_count - 1); shift >= 0; shift -= 6)
    out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
}

// The well-formed sequences a lead byte starts: how many bytes follow it and the range of
// the first of them (later ones are 0x80 to 0xBF). False for a byte that starts none.
bool ReadLeadByte(unsigned char lead, int* trail_count, unsigned char* low, unsigned char* high) {
  *low = 0x80;
  *high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    *trail_count = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    *trail_count = 2;
    if (lead == 0xE0)
      *low = 0xA0;  // no overlong forms
    if (lead == 0xED)
      *high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    *trail_count = 3;
    if (lead == 0xF0)
      *low = 0x90;
    if (lead == 0xF4)
      *high = 0x8F;  // nothing past U+10FFFF
  } else {
    return false;
  }
  return true;
}

// One character from |utf8| at |*index|. An ill-formed sequence yields one U+FFFD and is
// skipped up to the first byte that cannot continue it, as the platform's converter does.
char32_t NextCodePoint(const std::string& utf8, size_t* index) {
  const unsigned char lead = static_cast<unsigned char>(utf8[(*index)++]);
  if (lead < 0x80)
    return lead;
  int trail_count;
  unsigned char low, high;
  if (!ReadLeadByte(lead, &trail_count, &low, &high))
    return kReplacementCharacter;
  char32_t c = lead & (0x3F >> trail_count);
  for (int i = 0; i < trail_count; ++i, low = 0x80, high = 0xBF) {
    if (*index >= utf8.size())
      return kReplacementCharacter;
    const unsigned char trail = static_cast<unsigned char>(utf8[*index]);
    if (trail < low || trail > high)
      return kReplacementCharacter;
    c = (c << 6) | (trail & 0x3F);
    ++*index;
  }
  return c;
}

}  // namespace

std::string WideToUTF8(const std::wstring& wide) {
  std::string utf8;
  for (wchar_t c : wide)
    AppendUtf8(utf8, static_cast<char32_t>(c));
  return utf8;
}

std::wstring UTF8ToWide(const std::string& utf8) {
  std::wstring wide;
  size_t index = 0;
  while (index < utf8.size())
    wide += static_cast<wchar_t>(NextCodePoint(utf8, &index));
  return wide;
}

#endif

}  // namespace base
