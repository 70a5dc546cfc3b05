// Keeps a local variable alive in optimised code. The body is empty, but it lives in its own
// translation unit, so callers cannot see that.
#include "base/debug/alias.h"

namespace base {
namespace debug {

void Alias(const void*) {}

}  // namespace debug
}  // namespace base
