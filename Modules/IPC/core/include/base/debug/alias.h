// Keeps a local variable alive in optimised code, so that a crash dump holds it.
#ifndef BASE_DEBUG_ALIAS_H_
#define BASE_DEBUG_ALIAS_H_

namespace base {
namespace debug {

// Does nothing, but the compiler cannot see that and must keep |var| written.
void Alias(const void* var);

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_ALIAS_H_
