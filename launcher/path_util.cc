// Path helpers over shlwapi.
#include "launcher/path_util.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

std::wstring RemoveFileSpec(const std::wstring& path) {
  std::vector<wchar_t> buffer(path.begin(), path.end());
  buffer.push_back(L'\0');
  PathRemoveFileSpecW(buffer.data());
  return buffer.data();
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  wchar_t path[MAX_PATH] = {};
  if (folder.empty() || folder.size() >= MAX_PATH)
    return std::wstring();
  folder.copy(path, folder.size());
  if (!PathAppendW(path, name.c_str()))
    return std::wstring();
  return path;
}

bool FileExists(const std::wstring& path) {
  return !path.empty() && PathFileExistsW(path.c_str());
}

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  return RemoveFileSpec(path);
}
