// How much memory the test's own process has committed, for tests that bound it.
#ifndef SUPPORT_PROCESS_MEMORY_H_
#define SUPPORT_PROCESS_MEMORY_H_

#include <cstddef>

namespace test {

// The private bytes committed by this process (its share of the page file); 0 on failure.
size_t CommittedBytes();

}  // namespace test

#endif  // SUPPORT_PROCESS_MEMORY_H_
