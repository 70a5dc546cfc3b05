// A fresh temporary folder that a test lays files out in, removed with its content at the
// end of the test.
#ifndef SUPPORT_TEMP_TREE_H_
#define SUPPORT_TEMP_TREE_H_

#include <string>

namespace test {

// Failures to create or write are reported as test failures. Removal retries for a while,
// since a program the test started from the tree may still be ending.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::wstring& Root() const { return root_; }
  // Root + "\" + |relative|; the root itself for an empty |relative|.
  std::wstring Path(const std::wstring& relative) const;

  // Creates the folder |relative| with its parents.
  void MakeFolder(const std::wstring& relative);
  // Writes |bytes| to the file |relative|, creating its folder.
  void WriteFile(const std::wstring& relative, const std::string& bytes);
  // Copies the program |name| of the build (see ProgramPath) into the folder |relative|.
  void CopyProgram(const std::wstring& name, const std::wstring& relative);

 private:
  std::wstring root_;
};

}  // namespace test

#endif  // SUPPORT_TEMP_TREE_H_
