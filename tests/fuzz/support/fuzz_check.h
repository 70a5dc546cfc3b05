// The fuzz targets' assertion: a broken invariant prints its condition and aborts, which
// libFuzzer reports as a crash and keeps the input of.
#ifndef FUZZ_SUPPORT_FUZZ_CHECK_H_
#define FUZZ_SUPPORT_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                              \
  do {                                                                     \
    if (!(condition)) {                                                    \
      fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, \
              #condition);                                                 \
      abort();                                                             \
    }                                                                      \
  } while (false)

#endif  // FUZZ_SUPPORT_FUZZ_CHECK_H_
