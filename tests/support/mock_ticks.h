// A tick clock that stands still unless the test moves it, for tests of delayed work that
// must not depend on how fast the machine is.
#ifndef SUPPORT_MOCK_TICKS_H_
#define SUPPORT_MOCK_TICKS_H_

#include <cstdint>

#include "base/time.h"

namespace test {

// While it exists, base::TimeTicks::Now() reads a clock that starts at the real reading and
// moves only through Advance. One at a time; any thread may read the clock.
class ScopedMockTicks {
 public:
  ScopedMockTicks();

  // Puts the real clock back once it has caught up with the mock one, since a reading below
  // the last one would count as a wrap of the counter.
  ~ScopedMockTicks();

  void Advance(uint32_t milliseconds);

  ScopedMockTicks(const ScopedMockTicks&) = delete;
  ScopedMockTicks& operator=(const ScopedMockTicks&) = delete;

 private:
  base::TimeTicks::TickFunctionType real_ticks_;
};

}  // namespace test

#endif  // SUPPORT_MOCK_TICKS_H_
