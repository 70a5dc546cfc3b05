// The tick clock over the OS multimedia timer, the wall clock derived from it, conversions
// and the high-resolution timer mode.
#include "base/time.h"

#include <windows.h>
#include <mmsystem.h>

#include "base/debug/alias.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

// The multimedia clock wraps after 2^32 ms (about 49.7 days).
const int64_t kTickWrapMilliseconds = INT64_C(1) << 32;

// Time::Now() trusts the tick clock this long before it reads the system clock again, which
// bounds the drift between the two clocks.
const int64_t kMaxMillisecondsToAvoidDrift = 60 * Time::kMillisecondsPerSecond;

// The period the high-resolution mode asks the OS for.
const UINT kHighResolutionPeriodMs = 1;

// 100-nanosecond FILETIME units per microsecond.
const int64_t kFileTimeUnitsPerMicrosecond = 10;

uint32_t MultimediaTicks() {
  return timeGetTime();
}

// The process-wide clock state lives in leaked singletons, created on first use: static
// initialisers of other files may read the clocks, and threads may still read them while
// the process exits.
struct TickClock {
  Lock lock;
  TimeTicks::TickFunctionType tick_function = &MultimediaTicks;  // guarded by lock
  uint32_t last_reading = 0;                                    // guarded by lock
  int64_t rollover_ms = 0;                                      // guarded by lock
};

TickClock& GetTickClock() {
  static TickClock* const clock = new TickClock();
  return *clock;
}

// The reading of the system clock that Time::Now() extends with the tick clock.
struct WallClock {
  Lock lock;
  Time initial_time;        // guarded by lock; null until first used
  TimeTicks initial_ticks;  // guarded by lock
};

WallClock& GetWallClock() {
  static WallClock* const clock = new WallClock();
  return *clock;
}

struct HighResolutionTimer {
  Lock lock;
  bool enabled = false;  // guarded by lock
  int activated = 0;     // guarded by lock; OS period requests outstanding
};

HighResolutionTimer& GetHighResolutionTimer() {
  static HighResolutionTimer* const timer = new HighResolutionTimer();
  return *timer;
}

int64_t FileTimeToMicroseconds(const FILETIME& file_time) {
  ULARGE_INTEGER units;
  units.LowPart = file_time.dwLowDateTime;
  units.HighPart = file_time.dwHighDateTime;
  return static_cast<int64_t>(units.QuadPart) / kFileTimeUnitsPerMicrosecond;
}

FILETIME MicrosecondsToFileTime(int64_t us) {
  ULARGE_INTEGER units;
  units.QuadPart = static_cast<ULONGLONG>(us * kFileTimeUnitsPerMicrosecond);
  FILETIME file_time;
  file_time.dwLowDateTime = units.LowPart;
  file_time.dwHighDateTime = units.HighPart;
  return file_time;
}

Time SystemClockNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return Time::FromFileTime(now);
}

// Takes a fresh pair of readings of both clocks. The caller holds clock.lock.
void ResynchronizeWallClock(WallClock& clock) {
  clock.initial_ticks = TimeTicks::Now();
  clock.initial_time = SystemClockNow();
}

}  // namespace

// TimeDelta -----------------------------------------------------------------------------

int TimeDelta::InDays() const {
  return static_cast<int>(delta_ / Time::kMicrosecondsPerDay);
}

int TimeDelta::InHours() const {
  return static_cast<int>(delta_ / Time::kMicrosecondsPerHour);
}

int TimeDelta::InMinutes() const {
  return static_cast<int>(delta_ / Time::kMicrosecondsPerMinute);
}

int64_t TimeDelta::InSeconds() const {
  return delta_ / Time::kMicrosecondsPerSecond;
}

int64_t TimeDelta::InMilliseconds() const {
  return delta_ / Time::kMicrosecondsPerMillisecond;
}

double TimeDelta::InMillisecondsF() const {
  return static_cast<double>(delta_) / Time::kMicrosecondsPerMillisecond;
}

int64_t TimeDelta::InMillisecondsRoundedUp() const {
  const int64_t round_up = Time::kMicrosecondsPerMillisecond - 1;
  // Adding first would overflow for the largest durations, whose remainder decides alone.
  if (delta_ > INT64_MAX - round_up) {
    const int64_t remainder = delta_ % Time::kMicrosecondsPerMillisecond;
    return delta_ / Time::kMicrosecondsPerMillisecond + (remainder > 0 ? 1 : 0);
  }
  return (delta_ + round_up) / Time::kMicrosecondsPerMillisecond;
}

// TimeTicks -----------------------------------------------------------------------------

TimeTicks TimeTicks::Now() {
  TickClock& clock = GetTickClock();
  AutoLock lock(clock.lock);
  const uint32_t reading = clock.tick_function();
  if (reading < clock.last_reading)
    clock.rollover_ms += kTickWrapMilliseconds;
  clock.last_reading = reading;
  return TimeTicks((reading + clock.rollover_ms) * Time::kMicrosecondsPerMillisecond);
}

TimeTicks::TickFunctionType TimeTicks::SetMockTickFunction(TickFunctionType ticks) {
  TickClock& clock = GetTickClock();
  AutoLock lock(clock.lock);
  TickFunctionType previous = clock.tick_function;
  clock.tick_function = ticks;
  return previous;
}

// Time ----------------------------------------------------------------------------------

Time Time::Now() {
  WallClock& clock = GetWallClock();
  AutoLock lock(clock.lock);
  if (clock.initial_time.is_null())
    ResynchronizeWallClock(clock);
  TimeDelta elapsed = TimeTicks::Now() - clock.initial_ticks;
  while (elapsed.InMilliseconds() > kMaxMillisecondsToAvoidDrift) {
    ResynchronizeWallClock(clock);
    elapsed = TimeTicks::Now() - clock.initial_ticks;
  }
  return clock.initial_time + elapsed;
}

Time Time::NowFromSystemTime() {
  WallClock& clock = GetWallClock();
  AutoLock lock(clock.lock);
  ResynchronizeWallClock(clock);
  return clock.initial_time;
}

Time Time::FromFileTime(FILETIME file_time) {
  return Time(FileTimeToMicroseconds(file_time));
}

FILETIME Time::ToFileTime() const {
  return MicrosecondsToFileTime(us_);
}

Time Time::FromTimeT(time_t seconds_since_1970) {
  return Time(static_cast<int64_t>(seconds_since_1970) * kMicrosecondsPerSecond +
              kTimeTToMicrosecondsOffset);
}

time_t Time::ToTimeT() const {
  return static_cast<time_t>((us_ - kTimeTToMicrosecondsOffset) / kMicrosecondsPerSecond);
}

void Time::EnableHighResolutionTimer(bool enable) {
  // The mode is meant to be set from one thread; the first caller is kept for a crash dump.
  static const DWORD enabling_thread = GetCurrentThreadId();
  debug::Alias(&enabling_thread);
  HighResolutionTimer& timer = GetHighResolutionTimer();
  AutoLock lock(timer.lock);
  timer.enabled = enable;
}

bool Time::ActivateHighResolutionTimer(bool activating) {
  HighResolutionTimer& timer = GetHighResolutionTimer();
  AutoLock lock(timer.lock);
  if (activating && !timer.enabled)
    return false;
  // Every request counts, granted or not, and a deactivation is always passed on: the OS
  // keeps its own count of the periods asked for.
  MMRESULT result;
  if (activating) {
    result = timeBeginPeriod(kHighResolutionPeriodMs);
    ++timer.activated;
  } else {
    result = timeEndPeriod(kHighResolutionPeriodMs);
    --timer.activated;
  }
  return result == TIMERR_NOERROR;
}

bool Time::IsHighResolutionTimerInUse() {
  HighResolutionTimer& timer = GetHighResolutionTimer();
  AutoLock lock(timer.lock);
  return timer.enabled && timer.activated > 0;
}

}  // namespace base
