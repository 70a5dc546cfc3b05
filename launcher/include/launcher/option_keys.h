// The option keys the launcher and its client give meaning to (stored lower-case).
#ifndef LAUNCHER_OPTION_KEYS_H_
#define LAUNCHER_OPTION_KEYS_H_

constexpr wchar_t kMarkerKey[] = L"-scmd";
constexpr wchar_t kGameIdKey[] = L"-gameid";
constexpr wchar_t kFromKey[] = L"-from";
constexpr wchar_t kSdkStartKey[] = L"-sdkstart";
constexpr wchar_t kUserIdKey[] = L"-uid";
constexpr wchar_t kOemIdKey[] = L"-oemid";
constexpr wchar_t kCookieKey[] = L"-cookie";
constexpr wchar_t kMessageKey[] = L"-msg";

#endif  // LAUNCHER_OPTION_KEYS_H_
