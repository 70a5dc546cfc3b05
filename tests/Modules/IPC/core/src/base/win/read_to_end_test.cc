// Reading a file to its end, whatever its size, from where it stands; and a failed read.
#include "base/win/read_to_end.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/win/scoped_handle.h"
#include "support/temp_tree.h"

namespace {

base::win::ScopedFileHandle Open(const std::wstring& path, DWORD access) {
  return base::win::ScopedFileHandle(CreateFileW(path.c_str(), access, 0, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST(ReadToEndTest, AppendsWhatFollowsTheCurrentPosition) {
  test::TempTree tree;
  for (size_t size : {0, 1, 4096, 2 * 4096 + 3}) {
    tree.WriteFile(L"f", "skip" + std::string(size, 'x'));
    base::win::ScopedFileHandle file = Open(tree.Path(L"f"), GENERIC_READ);
    SetFilePointer(file.Get(), 4, nullptr, FILE_BEGIN);
    std::string bytes = "kept";
    EXPECT_TRUE(base::win::ReadToEnd(file.Get(), &bytes)) << size;
    EXPECT_EQ("kept" + std::string(size, 'x'), bytes);
  }
}

TEST(ReadToEndTest, FileNotOpenForReadingFails) {
  test::TempTree tree;
  tree.WriteFile(L"f", "bytes");
  std::string bytes;
  EXPECT_FALSE(base::win::ReadToEnd(Open(tree.Path(L"f"), GENERIC_WRITE).Get(), &bytes));
  EXPECT_EQ("", bytes);
}

}  // namespace
