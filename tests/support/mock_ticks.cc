// The mock tick clock of tests.
#include "support/mock_ticks.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

namespace test {

namespace {

std::atomic<uint32_t> g_mock_milliseconds(0);

uint32_t MockTicks() {
  return g_mock_milliseconds.load();
}

}  // namespace

ScopedMockTicks::ScopedMockTicks() {
  // The real clock is the multimedia one; starting from its reading keeps Now() from seeing
  // a step backwards.
  g_mock_milliseconds = ::timeGetTime();
  real_ticks_ = base::TimeTicks::SetMockTickFunction(&MockTicks);
}

ScopedMockTicks::~ScopedMockTicks() {
  while (static_cast<int32_t>(real_ticks_() - g_mock_milliseconds.load()) < 0)
    ::Sleep(1);
  base::TimeTicks::SetMockTickFunction(real_ticks_);
}

void ScopedMockTicks::Advance(uint32_t milliseconds) {
  g_mock_milliseconds += milliseconds;
}

}  // namespace test
