// Reading an open file from where it stands to its end.
#ifndef BASE_WIN_READ_TO_END_H_
#define BASE_WIN_READ_TO_END_H_

#include <string>

#include "base/win/scoped_handle.h"

namespace base {
namespace win {

// Appends to |bytes| what |file| (opened for synchronous reading) holds from its current
// position on. True when the end was reached; false when a read failed, with what came
// before the failure kept.
bool ReadToEnd(NativeHandle file, std::string* bytes);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_READ_TO_END_H_
