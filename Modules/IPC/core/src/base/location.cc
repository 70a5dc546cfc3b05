// Posted-from locations and the program counter of a posting site.
#include "base/location.h"

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace tracked_objects {

Location::Location(const char* function_name,
                   const char* file_name,
                   int line_number,
                   const void* program_counter)
    : function_name_(function_name),
      file_name_(file_name),
      line_number_(line_number),
      program_counter_(program_counter) {}

Location::Location()
    : function_name_("Unknown"),
      file_name_("Unknown"),
      line_number_(-1),
      program_counter_(nullptr) {}

// Never inlined: the return address must be the caller's, inside the posting function.
#if defined(_MSC_VER)
__declspec(noinline) const void* GetProgramCounter() {
  return _ReturnAddress();
}
#else
__attribute__((noinline)) const void* GetProgramCounter() {
  return __builtin_return_address(0);
}
#endif

}  // namespace tracked_objects
