// Hex, UTF-8 and file reading for ipccat's messages.
#include "tools/ipccat/payload.h"

#include <windows.h>

#include "base/utf_string_conversions.h"
#include "base/win/read_to_end.h"
#include "base/win/scoped_handle.h"

namespace ipccat {

namespace {

const char kHexDigits[] = "0123456789abcdef";

bool IsValidUtf8(const std::string& bytes) {
  return bytes.empty() ||
         MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                             static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

}  // namespace

std::string ToHex(const std::string& bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0xf];
  }
  return hex;
}

bool FromHex(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2)
    bytes->push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return true;
}

bool AsUtf8Text(const std::string& bytes, std::string* text) {
  const bool ends_with_nul = !bytes.empty() && bytes.back() == '\0';
  *text = bytes.substr(0, bytes.size() - (ends_with_nul ? 1 : 0));
  return IsValidUtf8(*text);
}

bool IsPrintable(const std::string& text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7f)
      return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  base::win::ScopedFileHandle file(CreateFileW(base::UTF8ToWide(path).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid())
    return false;
  bytes->clear();
  return base::win::ReadToEnd(file.Get(), bytes);
}

}  // namespace ipccat
