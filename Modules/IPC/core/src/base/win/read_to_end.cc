// Reading an open file to its end.
#include "base/win/read_to_end.h"

#include <windows.h>

namespace base {
namespace win {

namespace {

const DWORD kChunkBytes = 4096;

}  // namespace

bool ReadToEnd(NativeHandle file, std::string* bytes) {
  char chunk[kChunkBytes];
  DWORD read = 0;
  while (::ReadFile(file, chunk, kChunkBytes, &read, nullptr)) {
    if (read == 0)
      return true;
    bytes->append(chunk, read);
  }
  return false;
}

}  // namespace win
}  // namespace base
