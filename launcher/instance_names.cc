// Mutex and channel names of the launcher and the client.
#include "launcher/instance_names.h"

namespace {

const wchar_t kGlobalNamespace[] = L"Global\\";

}  // namespace

std::wstring LauncherMutexName(const std::wstring& oemId) {
  return std::wstring(kGlobalNamespace) + L"zaverezodovodav-" + oemId;
}

std::wstring ClientChannelName(const std::wstring& oemId, const std::wstring& userId) {
  std::wstring name = L"Veskgame-" + oemId;
  if (!userId.empty())
    name += L"-" + userId;
  return name;
}

std::wstring ClientMutexName(const std::wstring& oemId, const std::wstring& userId) {
  return kGlobalNamespace + ClientChannelName(oemId, userId);
}
