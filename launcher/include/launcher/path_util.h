// Path helpers over the shell's path functions, in MAX_PATH buffers.
#ifndef LAUNCHER_PATH_UTIL_H_
#define LAUNCHER_PATH_UTIL_H_

#include <string>

// |path| without its last component (PathRemoveFileSpecW).
std::wstring RemoveFileSpec(const std::wstring& path);

// |folder| + |name| (PathAppendW); empty when |folder| is empty or the result does not
// fit MAX_PATH, so that a relative name is never probed by mistake.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// True for an existing file or folder (PathFileExistsW); false for an empty path.
bool FileExists(const std::wstring& path);

// The folder of the running executable; empty when its path does not fit MAX_PATH.
std::wstring ExecutableFolder();

#endif  // LAUNCHER_PATH_UTIL_H_
