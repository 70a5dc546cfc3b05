// Command-line parsing, defaults and the client argument line.
#include "launcher/launch_options.h"

#include <iterator>

#include "base/utf_string_conversions.h"
#include "launcher/option_keys.h"

namespace {

const wchar_t kDefaultGameId[] = L"default";
const wchar_t kDefaultOemId[] = L"1101";

// The marker is followed by the game id, the "from" and the sdk-start values.
const wchar_t* const kPositionalKeys[] = {kGameIdKey, kFromKey, kSdkStartKey};
const size_t kPositionalCount = std::size(kPositionalKeys);

// Keys with a fixed slot in the argument line, never written again as pairs.
const wchar_t* const kFixedSlotKeys[] = {kGameIdKey, kFromKey, kSdkStartKey, kUserIdKey};

// Only "A" to "Z" are lowered: keys are compared by code units, never by locale.
std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// "%XY" becomes the byte 0xXY; anything else, "+" included, is copied. A decoded
// zero byte ends the value.
std::string PercentDecode(const std::string& bytes) {
  std::string decoded;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char byte = bytes[i];
    if (byte == '%' && i + 2 < bytes.size()) {
      const int high = HexDigitValue(bytes[i + 1]);
      const int low = HexDigitValue(bytes[i + 2]);
      if (high >= 0 && low >= 0) {
        byte = static_cast<char>(high * 16 + low);
        i += 2;
      }
    }
    if (byte == '\0')
      break;
    decoded.push_back(byte);
  }
  return decoded;
}

void ReplaceAll(std::wstring& text, wchar_t from, wchar_t to) {
  for (wchar_t& c : text) {
    if (c == from)
      c = to;
  }
}

bool HasFixedSlot(const std::wstring& key) {
  for (const wchar_t* fixed : kFixedSlotKeys) {
    if (key == fixed)
      return true;
  }
  return false;
}

// Appends a space and |token| in double quotes, written so that the platform's command-line
// splitting gives the token back: a quote is preceded by a backslash, and backslashes that
// stand before a quote, the closing one included, are doubled. Other backslashes are kept
// single, so a path is written as it is.
void AppendToken(std::wstring& line, const std::wstring& token) {
  line += L" \"";
  size_t backslashes = 0;
  for (wchar_t c : token) {
    if (c == L'"')
      line.append(backslashes + 1, L'\\');
    backslashes = c == L'\\' ? backslashes + 1 : 0;
    line += c;
  }
  line.append(backslashes, L'\\');
  line += L'"';
}

LaunchOptions g_launchOptions;

}  // namespace

LaunchOptions::LaunchOptions() = default;

void LaunchOptions::ParseArguments(const std::vector<std::wstring>& arguments) {
  values.clear();
  gameIds.clear();
  ReadArguments(arguments);
  ApplyDefaults();
}

std::wstring LaunchOptions::GetValue(const std::wstring& key) const {
  ValueMap::const_iterator it = values.find(key);
  return it == values.end() ? std::wstring() : it->second;
}

bool LaunchOptions::HasValue(const std::wstring& key) const {
  return values.count(key) != 0;
}

std::wstring LaunchOptions::BuildClientArguments() const {
  std::wstring line;
  AppendToken(line, kMarkerKey);
  AppendToken(line, gameIds.empty() ? std::wstring(kDefaultGameId) : gameIds.front());
  AppendToken(line, GetValue(kFromKey));
  AppendToken(line, GetValue(kSdkStartKey));
  for (size_t i = 1; i < gameIds.size(); ++i) {
    AppendToken(line, kGameIdKey);
    AppendToken(line, gameIds[i]);
  }
  AppendToken(line, kUserIdKey);
  AppendToken(line, GetValue(kUserIdKey));
  for (const ValueMap::value_type& pair : values) {
    if (pair.second.empty() || HasFixedSlot(pair.first))
      continue;
    AppendToken(line, pair.first);
    AppendToken(line, pair.second);
  }
  return line;
}

// Arguments before the marker are ignored; pairs follow only a complete positional head,
// so "-from" and "-sdkstart" pairs never reach the store.
void LaunchOptions::ReadArguments(const std::vector<std::wstring>& arguments) {
  size_t marker = 0;
  while (marker < arguments.size() && !IsMarker(arguments[marker]))
    ++marker;
  if (marker == arguments.size())
    return;

  const size_t head = marker + 1;
  for (size_t slot = 0; slot < kPositionalCount && head + slot < arguments.size(); ++slot)
    values[kPositionalKeys[slot]] = arguments[head + slot];
  if (head < arguments.size())
    gameIds.push_back(arguments[head]);

  // A last argument without a partner is dropped by the loop condition.
  for (size_t i = head + kPositionalCount; i + 1 < arguments.size(); i += 2) {
    const std::wstring key = AsciiLower(arguments[i]);
    const std::wstring& value = arguments[i + 1];
    if (key == kGameIdKey)
      gameIds.push_back(value);
    else
      values.emplace(key, value);  // the first occurrence wins
  }
}

void LaunchOptions::ApplyDefaults() {
  if (GetValue(kGameIdKey).empty())
    values[kGameIdKey] = gameIds.empty() ? std::wstring(kDefaultGameId) : gameIds.front();
  if (GetValue(kOemIdKey).empty())
    values[kOemIdKey] = kDefaultOemId;

  ValueMap::iterator from = values.find(kFromKey);
  if (from != values.end() && !from->second.empty())
    from->second = base::UTF8ToWide(PercentDecode(base::WideToUTF8(from->second)));

  ValueMap::iterator cookie = values.find(kCookieKey);
  if (cookie != values.end()) {
    ReplaceAll(cookie->second, L'&', L';');
    ReplaceAll(cookie->second, L':', L'=');
  }
}

LaunchOptions& GetLaunchOptions() {
  return g_launchOptions;
}
