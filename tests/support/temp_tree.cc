// Temporary folders for tests.
#include "support/temp_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/win/scoped_handle.h"
#include "support/child_process.h"
#include "support/deadline.h"
#include "support/unique_name.h"

namespace test {
namespace {

const unsigned long kRemoveTimeoutMs = 10000;

// The long form of the temporary folder, so that paths built here compare equal to the
// paths programs in the tree see for themselves.
std::wstring TempFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, path);
  wchar_t longPath[MAX_PATH] = {};
  const DWORD length = GetLongPathNameW(path, longPath, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(longPath, length) : std::wstring(path);
}

std::wstring Parent(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

void MakeFolders(const std::wstring& path) {
  if (path.empty() || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    return;
  MakeFolders(Parent(path));
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    ADD_FAILURE() << "cannot create folder, error " << GetLastError();
}

// Deletes |path| and everything below it; false when anything is left.
bool RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..")
        continue;
      const std::wstring child = path + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(find, &entry));
    FindClose(find);  // a find handle, released by its own function
  }
  return RemoveDirectoryW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

TempTree::TempTree() : root_(TempFolder() + UniqueWideName(L"launcher-test-")) {
  MakeFolders(root_);
}

TempTree::~TempTree() {
  if (!WaitUntil([this] { return RemoveTree(root_); }, kRemoveTimeoutMs))
    ADD_FAILURE() << "temporary folder still in use at the end of the test";
}

std::wstring TempTree::Path(const std::wstring& relative) const {
  return relative.empty() ? root_ : root_ + L"\\" + relative;
}

void TempTree::MakeFolder(const std::wstring& relative) {
  MakeFolders(Path(relative));
}

void TempTree::WriteFile(const std::wstring& relative, const std::string& bytes) {
  const std::wstring path = Path(relative);
  MakeFolders(Parent(path));
  base::win::ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file.IsValid() ||
      !::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) ||
      written != bytes.size()) {
    ADD_FAILURE() << "cannot write a file of the temporary tree, error " << GetLastError();
  }
}

void TempTree::CopyProgram(const std::wstring& name, const std::wstring& relative) {
  MakeFolder(relative);
  const std::wstring target = Path(relative) + L"\\" + name;
  if (!CopyFileW(ProgramPath(name).c_str(), target.c_str(), FALSE))
    ADD_FAILURE() << "cannot copy a program of the build, error " << GetLastError();
}

}  // namespace test
