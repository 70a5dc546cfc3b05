// Names for kernel objects and pipes that no other test, running in parallel, uses.
#ifndef SUPPORT_UNIQUE_NAME_H_
#define SUPPORT_UNIQUE_NAME_H_

#include <string>

namespace test {

// |prefix| + process id + a per-process counter + the tick count, as narrow text.
std::string UniqueName(const std::string& prefix);
std::wstring UniqueWideName(const std::wstring& prefix);

// A decimal id (for OEM ids and user ids) unlikely to collide across parallel tests.
std::wstring UniqueNumericId();

}  // namespace test

#endif  // SUPPORT_UNIQUE_NAME_H_
