// Time values: conversions, rounding, the wrap-safe tick clock, the wall clock's
// resynchronisation and the high-resolution timer mode.
#include "base/time.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "support/background_thread.h"
#include "support/mock_ticks.h"

namespace {

using base::Time;
using base::TimeDelta;
using base::TimeTicks;

TEST(TimeTicksTest, TicksKeepIncreasingAcrossThe32BitWrap) {
  test::ScopedMockTicks ticks;
  const TimeTicks start = TimeTicks::Now();
  const uint32_t start_ms = static_cast<uint32_t>(start.ToInternalValue() / 1000);
  ticks.Advance(0xFFFFFFFFu - start_ms);
  const TimeTicks before_wrap = TimeTicks::Now();
  EXPECT_GE(before_wrap, start);
  ticks.Advance(0x11);
  EXPECT_EQ(0x11, (TimeTicks::Now() - before_wrap).InMilliseconds());

  ticks.Advance(0xFFFFFFFFu - 0x10);
  ticks.Advance(1);
  EXPECT_EQ((INT64_C(1) << 32) + 1, (TimeTicks::Now() - before_wrap).InMilliseconds());

  // Back to the starting reading, which the real clock has passed, so it is handed back
  // at once.
  ticks.Advance(start_ms);
}

TEST(TimeTicksTest, TicksAreWholeMillisecondsAndAnEqualReadingIsNoWrap) {
  test::ScopedMockTicks ticks;
  const TimeTicks first = TimeTicks::Now();
  EXPECT_EQ(first, TimeTicks::Now());
  EXPECT_EQ(0, first.ToInternalValue() % Time::kMicrosecondsPerMillisecond);
  ticks.Advance(7);
  EXPECT_EQ(TimeDelta::FromMilliseconds(7), TimeTicks::Now() - first);
}

uint32_t FixedTicks() {
  return 42;
}

TEST(TimeTicksTest, SetMockTickFunctionAnswersThePreviousFunction) {
  test::ScopedMockTicks ticks;
  const TimeTicks::TickFunctionType mock = TimeTicks::SetMockTickFunction(&FixedTicks);
  EXPECT_EQ(&FixedTicks, TimeTicks::SetMockTickFunction(mock));
}

TEST(TimeTest, WallClockFollowsTicksForAMinuteThenResynchronises) {
  test::ScopedMockTicks ticks;
  // Start 70 s behind the real clock (one counted wrap), so that running 62.5 s ahead below
  // still leaves the mock clock behind and it can be handed back at once.
  ticks.Advance(0u - 70000u);
  const Time anchor = Time::NowFromSystemTime();

  ticks.Advance(30000);
  EXPECT_EQ(TimeDelta::FromSeconds(30), Time::Now() - anchor);
  ticks.Advance(30000);
  EXPECT_EQ(TimeDelta::FromSeconds(60), Time::Now() - anchor);

  // The system clock has moved on by real time only, not by the mocked 61 s.
  ticks.Advance(1000);
  const Time resynchronised = Time::Now();
  const TimeDelta real_elapsed = resynchronised - anchor;
  EXPECT_GE(real_elapsed, TimeDelta());
  EXPECT_LT(real_elapsed, TimeDelta::FromSeconds(30));

  // The fresh pair is the base for the next minute.
  ticks.Advance(1500);
  EXPECT_EQ(TimeDelta::FromMilliseconds(1500), Time::Now() - resynchronised);
}

TEST(TimeTest, NowAgreesWithTheSystemClock) {
  FILETIME system;
  GetSystemTimeAsFileTime(&system);
  const TimeDelta offset = Time::Now() - Time::FromFileTime(system);
  EXPECT_LT(offset, TimeDelta::FromSeconds(61));
  EXPECT_GT(offset, TimeDelta::FromSeconds(-5));
  EXPECT_FALSE(Time::NowFromSystemTime().is_null());
}

TEST(TimeTest, NowFromManyThreadsIsNeverNullAndTicksNeverGoBack) {
  std::vector<std::unique_ptr<test::BackgroundThread>> threads;
  std::atomic<int> failures(0);
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back(new test::BackgroundThread([&failures] {
      TimeTicks last = TimeTicks::Now();
      for (int j = 0; j < 2000; ++j) {
        const TimeTicks now = TimeTicks::Now();
        if (now < last || Time::Now().is_null())
          ++failures;
        last = now;
      }
    }));
  }
  for (const std::unique_ptr<test::BackgroundThread>& thread : threads)
    ASSERT_TRUE(thread->Join());
  EXPECT_EQ(0, failures.load());
}

TEST(TimeTest, FileTimeIsHundredsOfNanosecondsSince1601) {
  FILETIME file_time;
  file_time.dwLowDateTime = 0x89ABCDEFu;
  file_time.dwHighDateTime = 0x01234567u;
  const Time time = Time::FromFileTime(file_time);
  EXPECT_EQ(INT64_C(0x0123456789ABCDEF) / 10, time.ToInternalValue());

  const FILETIME back = Time::FromInternalValue(INT64_C(0x0123456789ABCDE)).ToFileTime();
  EXPECT_EQ(INT64_C(0x0123456789ABCDE) * 10,
            (static_cast<int64_t>(back.dwHighDateTime) << 32) | back.dwLowDateTime);
}

TEST(TimeTest, TimeTIsShiftedByTheEpochDifference) {
  EXPECT_EQ(Time::kTimeTToMicrosecondsOffset, Time::FromTimeT(0).ToInternalValue());
  // 2000-01-01 00:00:00 UTC.
  const Time millennium = Time::FromTimeT(946684800);
  EXPECT_EQ(946684800, millennium.ToTimeT());
  EXPECT_EQ(INT64_C(125911584000000000) / 10, millennium.ToInternalValue());
}

TEST(TimeDeltaTest, InMillisecondsRoundedUpAdds999MicrosecondsThenTruncates) {
  const struct {
    int64_t us;
    int64_t ms;
  } cases[] = {{0, 0},         {1, 1},          {999, 1},     {1000, 1},
               {1001, 2},      {-1, 0},         {-1000, 0},   {-1998, 0},
               {-1999, -1},    {-2999, -2},     {INT64_MAX - 807, INT64_MAX / 1000},
               {INT64_MAX, INT64_MAX / 1000 + 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.ms, TimeDelta::FromMicroseconds(c.us).InMillisecondsRoundedUp()) << c.us;
  }
}

TEST(TimeDeltaTest, ConvertersTruncateTowardZero) {
  const TimeDelta minus = TimeDelta::FromMicroseconds(-1999999);
  EXPECT_EQ(-1, minus.InSeconds());
  EXPECT_EQ(-1999, minus.InMilliseconds());
  EXPECT_DOUBLE_EQ(-1999.999, minus.InMillisecondsF());
  EXPECT_EQ(1, (TimeDelta::FromHours(47) + TimeDelta::FromMinutes(59)).InDays());
  EXPECT_EQ(-25, TimeDelta::FromMinutes(-1559).InHours());
  EXPECT_EQ(90, TimeDelta::FromSeconds(5431).InMinutes());
  // Large enough that a 32-bit intermediate would overflow.
  EXPECT_EQ(INT64_C(3000000000), TimeDelta::FromSeconds(3000000).InMilliseconds());
}

TEST(TimeDeltaTest, ArithmeticAndComparisons) {
  TimeDelta delta = TimeDelta::FromMilliseconds(1500);
  EXPECT_EQ(3, delta * 4 / TimeDelta::FromSeconds(2));
  EXPECT_EQ(TimeDelta::FromMilliseconds(-500), TimeDelta::FromSeconds(1) - delta);
  EXPECT_EQ(-delta, TimeDelta() - delta);
  EXPECT_EQ(TimeDelta::FromMilliseconds(3000), 2 * delta);
  delta += TimeDelta::FromMilliseconds(500);
  delta *= 3;
  delta /= 2;
  delta -= TimeDelta::FromSeconds(1);
  EXPECT_EQ(TimeDelta::FromSeconds(2), delta);
  EXPECT_LT(TimeDelta::FromMicroseconds(-1), TimeDelta());
  EXPECT_GE(TimeDelta::FromDays(1), TimeDelta::FromHours(24));
  EXPECT_NE(TimeDelta::FromDays(1), TimeDelta::FromHours(23));

  const TimeTicks start = TimeTicks::FromInternalValue(1000);
  EXPECT_EQ(TimeDelta::FromMicroseconds(250), (start + TimeDelta::FromMicroseconds(250)) - start);
  EXPECT_TRUE(TimeTicks().is_null());
  EXPECT_TRUE(Time().is_null());
  EXPECT_LT(Time::FromTimeT(1), Time::FromTimeT(1) + TimeDelta::FromMicroseconds(1));
}

TEST(TimeTest, ConstantsMatchTheirUnits) {
  EXPECT_EQ(1000, Time::kMillisecondsPerSecond);
  EXPECT_EQ(1000, Time::kMicrosecondsPerMillisecond);
  EXPECT_EQ(1000000, Time::kMicrosecondsPerSecond);
  EXPECT_EQ(60000000, Time::kMicrosecondsPerMinute);
  EXPECT_EQ(INT64_C(3600000000), Time::kMicrosecondsPerHour);
  EXPECT_EQ(INT64_C(86400000000), Time::kMicrosecondsPerDay);
  EXPECT_EQ(INT64_C(604800000000), Time::kMicrosecondsPerWeek);
  EXPECT_EQ(1000, Time::kNanosecondsPerMicrosecond);
  EXPECT_EQ(1000000000, Time::kNanosecondsPerSecond);
  EXPECT_EQ(INT64_C(11644473600000000), Time::kTimeTToMicrosecondsOffset);
  EXPECT_EQ(16, Time::kMinLowResolutionThresholdMs);
}

// The mode is process-wide; these run in order within this program. Under Wine and Windows
// alike a 1 ms period is granted; an unmatched give-back may be refused, so its answer is
// not checked.
TEST(HighResolutionTimerTest, ActivationIsRefusedWhileTheModeIsNotEnabled) {
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(true));
  EXPECT_FALSE(Time::IsHighResolutionTimerInUse());
}

TEST(HighResolutionTimerTest, EveryActivationAndDeactivationIsCounted) {
  Time::EnableHighResolutionTimer(true);
  ASSERT_TRUE(Time::ActivateHighResolutionTimer(true));
  ASSERT_TRUE(Time::ActivateHighResolutionTimer(true));
  EXPECT_TRUE(Time::IsHighResolutionTimerInUse());
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(false));
  EXPECT_TRUE(Time::IsHighResolutionTimerInUse());

  // Deactivation counts even while the mode is disabled, and below zero: the count is
  // back at 0 only after two more activations.
  Time::EnableHighResolutionTimer(false);
  EXPECT_FALSE(Time::IsHighResolutionTimerInUse());
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(false));
  Time::ActivateHighResolutionTimer(false);
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(true));

  Time::EnableHighResolutionTimer(true);
  EXPECT_FALSE(Time::IsHighResolutionTimerInUse());
  ASSERT_TRUE(Time::ActivateHighResolutionTimer(true));
  EXPECT_FALSE(Time::IsHighResolutionTimerInUse());
  ASSERT_TRUE(Time::ActivateHighResolutionTimer(true));
  EXPECT_TRUE(Time::IsHighResolutionTimerInUse());
  Time::ActivateHighResolutionTimer(false);
  Time::EnableHighResolutionTimer(false);
}

}  // namespace
