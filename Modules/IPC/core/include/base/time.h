// Time values of the runtime: durations, points on the monotonic tick clock and wall-clock
// times, all signed 64-bit counts of microseconds, with the clocks that produce them.
#ifndef BASE_TIME_H_
#define BASE_TIME_H_

#include <cstdint>
#include <ctime>

struct _FILETIME;  // windows.h stays out of this header

namespace base {

// A signed duration in microseconds.
class TimeDelta {
 public:
  TimeDelta() : delta_(0) {}

  static TimeDelta FromDays(int64_t days);
  static TimeDelta FromHours(int64_t hours);
  static TimeDelta FromMinutes(int64_t minutes);
  static TimeDelta FromSeconds(int64_t seconds);
  static TimeDelta FromMilliseconds(int64_t milliseconds);
  static TimeDelta FromMicroseconds(int64_t microseconds);

  static TimeDelta FromInternalValue(int64_t delta) { return TimeDelta(delta); }
  int64_t ToInternalValue() const { return delta_; }

  // Truncating toward zero.
  int InDays() const;
  int InHours() const;
  int InMinutes() const;
  int64_t InSeconds() const;
  int64_t InMilliseconds() const;
  int64_t InMicroseconds() const { return delta_; }
  double InMillisecondsF() const;

  // (microseconds + 999) / 1000, truncating toward zero: a wait of that many milliseconds
  // never ends early, and negative durations down to -1998 us give 0.
  int64_t InMillisecondsRoundedUp() const;

  TimeDelta operator+(TimeDelta other) const { return TimeDelta(delta_ + other.delta_); }
  TimeDelta operator-(TimeDelta other) const { return TimeDelta(delta_ - other.delta_); }
  TimeDelta operator-() const { return TimeDelta(-delta_); }
  TimeDelta operator*(int64_t factor) const { return TimeDelta(delta_ * factor); }
  TimeDelta operator/(int64_t divisor) const { return TimeDelta(delta_ / divisor); }
  int64_t operator/(TimeDelta other) const { return delta_ / other.delta_; }

  TimeDelta& operator+=(TimeDelta other) { return *this = *this + other; }
  TimeDelta& operator-=(TimeDelta other) { return *this = *this - other; }
  TimeDelta& operator*=(int64_t factor) { return *this = *this * factor; }
  TimeDelta& operator/=(int64_t divisor) { return *this = *this / divisor; }

  bool operator==(TimeDelta other) const { return delta_ == other.delta_; }
  bool operator!=(TimeDelta other) const { return delta_ != other.delta_; }
  bool operator<(TimeDelta other) const { return delta_ < other.delta_; }
  bool operator<=(TimeDelta other) const { return delta_ <= other.delta_; }
  bool operator>(TimeDelta other) const { return delta_ > other.delta_; }
  bool operator>=(TimeDelta other) const { return delta_ >= other.delta_; }

 private:
  explicit TimeDelta(int64_t delta_us) : delta_(delta_us) {}

  int64_t delta_;
};

inline TimeDelta operator*(int64_t factor, TimeDelta delta) { return delta * factor; }

namespace internal {

// What Time and TimeTicks share: a count of microseconds on the scale of |TimeClass|, moved
// by durations and compared only with points of the same scale. 0 is null.
template <class TimeClass>
class TimePoint {
 public:
  bool is_null() const { return us_ == 0; }

  static TimeClass FromInternalValue(int64_t us) { return TimeClass(us); }
  int64_t ToInternalValue() const { return us_; }

  TimeClass operator+(TimeDelta delta) const { return TimeClass(us_ + delta.InMicroseconds()); }
  TimeClass operator-(TimeDelta delta) const { return TimeClass(us_ - delta.InMicroseconds()); }
  TimeDelta operator-(TimeClass other) const {
    return TimeDelta::FromMicroseconds(us_ - other.us_);
  }
  TimeClass& operator+=(TimeDelta delta) { return Self() = *this + delta; }
  TimeClass& operator-=(TimeDelta delta) { return Self() = *this - delta; }

  bool operator==(TimeClass other) const { return us_ == other.us_; }
  bool operator!=(TimeClass other) const { return us_ != other.us_; }
  bool operator<(TimeClass other) const { return us_ < other.us_; }
  bool operator<=(TimeClass other) const { return us_ <= other.us_; }
  bool operator>(TimeClass other) const { return us_ > other.us_; }
  bool operator>=(TimeClass other) const { return us_ >= other.us_; }

 protected:
  explicit TimePoint(int64_t us) : us_(us) {}

  int64_t us_;

 private:
  TimeClass& Self() { return static_cast<TimeClass&>(*this); }
};

}  // namespace internal

template <class TimeClass>
TimeClass operator+(TimeDelta delta, internal::TimePoint<TimeClass> point) {
  return point + delta;
}

// Wall-clock time in microseconds since 1601-01-01 00:00 UTC (the FILETIME epoch); 0 is
// null. Now() is cheap: it extends one reading of the system clock with the tick clock.
// Every static member may be used from any thread.
class Time : public internal::TimePoint<Time> {
 public:
  static constexpr int64_t kMillisecondsPerSecond = 1000;
  static constexpr int64_t kMicrosecondsPerMillisecond = 1000;
  static constexpr int64_t kMicrosecondsPerSecond = kMicrosecondsPerMillisecond *
                                                    kMillisecondsPerSecond;
  static constexpr int64_t kMicrosecondsPerMinute = kMicrosecondsPerSecond * 60;
  static constexpr int64_t kMicrosecondsPerHour = kMicrosecondsPerMinute * 60;
  static constexpr int64_t kMicrosecondsPerDay = kMicrosecondsPerHour * 24;
  static constexpr int64_t kMicrosecondsPerWeek = kMicrosecondsPerDay * 7;
  static constexpr int64_t kNanosecondsPerMicrosecond = 1000;
  static constexpr int64_t kNanosecondsPerSecond = kNanosecondsPerMicrosecond *
                                                   kMicrosecondsPerSecond;
  // From 1601-01-01 to 1970-01-01, the time_t epoch.
  static constexpr int64_t kTimeTToMicrosecondsOffset = INT64_C(11644473600000000);
  // The OS timer granularity the message loop assumes when no 1 ms period is requested.
  static constexpr int kMinLowResolutionThresholdMs = 16;

  Time() : TimePoint(0) {}

  // The current wall time, resynchronised with the system clock once the reading it
  // extends is older than a minute.
  static Time Now();
  // Resynchronises the wall clock with the system clock and answers the fresh reading.
  static Time NowFromSystemTime();

  static Time FromFileTime(_FILETIME file_time);
  _FILETIME ToFileTime() const;
  static Time FromTimeT(time_t seconds_since_1970);
  time_t ToTimeT() const;

  // The high-resolution timer mode: while it is enabled, ActivateHighResolutionTimer(true)
  // asks the OS for a 1 ms timer period and counts one activation; unless it is enabled,
  // activation answers false and leaves the OS period alone. ActivateHighResolutionTimer
  // (false) always gives one period back to the OS and counts one activation less. Both
  // count whether or not the OS call succeeds and answer true when it did. The timer is
  // in use while the mode is enabled and the count is above 0.
  static void EnableHighResolutionTimer(bool enable);
  static bool ActivateHighResolutionTimer(bool activating);
  static bool IsHighResolutionTimerInUse();

 private:
  friend class internal::TimePoint<Time>;
  explicit Time(int64_t us) : TimePoint(us) {}
};

// A point on the monotonic tick clock, in microseconds from an unspecified origin; 0 is
// null. Readings are whole milliseconds and keep increasing across the 32-bit wrap of the
// millisecond counter, as long as the clock is read at least once per wrap (49.7 days).
class TimeTicks : public internal::TimePoint<TimeTicks> {
 public:
  // A source of milliseconds that wraps at 2^32, like timeGetTime.
  typedef uint32_t (*TickFunctionType)();

  TimeTicks() : TimePoint(0) {}

  // Any thread.
  static TimeTicks Now();

  // Makes Now() read |ticks| instead of the OS multimedia clock; answers the function used
  // until now. A reading below the previous one counts as a wrap.
  static TickFunctionType SetMockTickFunction(TickFunctionType ticks);

 private:
  friend class internal::TimePoint<TimeTicks>;
  explicit TimeTicks(int64_t ticks) : TimePoint(ticks) {}
};

// The factories are inline so that constant durations fold away.
inline TimeDelta TimeDelta::FromDays(int64_t days) {
  return TimeDelta(days * Time::kMicrosecondsPerDay);
}
inline TimeDelta TimeDelta::FromHours(int64_t hours) {
  return TimeDelta(hours * Time::kMicrosecondsPerHour);
}
inline TimeDelta TimeDelta::FromMinutes(int64_t minutes) {
  return TimeDelta(minutes * Time::kMicrosecondsPerMinute);
}
inline TimeDelta TimeDelta::FromSeconds(int64_t seconds) {
  return TimeDelta(seconds * Time::kMicrosecondsPerSecond);
}
inline TimeDelta TimeDelta::FromMilliseconds(int64_t milliseconds) {
  return TimeDelta(milliseconds * Time::kMicrosecondsPerMillisecond);
}
inline TimeDelta TimeDelta::FromMicroseconds(int64_t microseconds) {
  return TimeDelta(microseconds);
}

}  // namespace base

#endif  // BASE_TIME_H_
