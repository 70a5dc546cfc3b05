// Waitable events: reset modes, timed waits and their rounding, waiting on several at once.
#include "base/synchronization/waitable_event.h"

#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "base/time.h"
#include "base/win/scoped_handle.h"
#include "support/background_thread.h"
#include "support/fatal_check.h"
#include "support/thread_runner.h"

namespace {

using base::TimeDelta;
using base::WaitableEvent;

const TimeDelta kDeadline = TimeDelta::FromMilliseconds(test::kDeadlineMs);

// Microseconds on the performance counter, finer than any tick the waits use.
double NowInMicroseconds() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return counter.QuadPart * 1e6 / frequency.QuadPart;
}

TEST(WaitableEventTest, ManualResetStaysSignalledUntilReset) {
  WaitableEvent event(true, false);
  EXPECT_FALSE(event.IsSignaled());
  event.Signal();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromMilliseconds(10)));
  event.Reset();
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitableEventTest, InitiallySignalledEventLetsTheFirstWaitThrough) {
  WaitableEvent manual(true, true);
  EXPECT_TRUE(manual.IsSignaled());
  WaitableEvent automatic(false, true);
  automatic.Wait();
  EXPECT_FALSE(automatic.IsSignaled());
}

TEST(WaitableEventTest, IsSignaledConsumesTheSignalOfAnAutoResetEvent) {
  WaitableEvent event(false, false);
  event.Signal();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_FALSE(event.IsSignaled());
  event.Signal();
  EXPECT_TRUE(event.TimedWait(kDeadline));
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
}

TEST(WaitableEventTest, TimedWaitOfOneMicrosecondWaitsAWholeMillisecond) {
  WaitableEvent event(true, false);
  // Rounding down would make this a poll that returns in microseconds. Timers may fire a
  // little early, so only a clear fraction of the millisecond is asked for.
  const double started = NowInMicroseconds();
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMicroseconds(1)));
  EXPECT_GE(NowInMicroseconds() - started, 500.0);
}

TEST(WaitableEventTest, TimedWaitOfZeroPolls) {
  WaitableEvent event(true, false);
  const double started = NowInMicroseconds();
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
  // A poll does not sleep a scheduler tick.
  EXPECT_LT(NowInMicroseconds() - started, 100000.0);
}

TEST(WaitableEventTest, NegativeTimedWaitPollsInsteadOfWaitingForWeeks) {
  WaitableEvent event(true, false);
  const double started = NowInMicroseconds();
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(-5)));
  EXPECT_LT(NowInMicroseconds() - started, 100000.0);
  event.Signal();
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromMilliseconds(-5)));
}

// Run on another thread: signals |event| once the test thread says, through |waiting|, that
// it goes into its wait.
void SignalOnceWaiting(WaitableEvent* waiting, WaitableEvent* event) {
  EXPECT_TRUE(waiting->TimedWait(kDeadline));
  event->Signal();
}

TEST(WaitableEventTest, TimedWaitEndsWhenAnotherThreadSignals) {
  WaitableEvent event(false, false), waiting(true, false);
  test::BackgroundThread signaller([&] { SignalOnceWaiting(&waiting, &event); });
  waiting.Signal();
  EXPECT_TRUE(event.TimedWait(kDeadline));
}

TEST(WaitableEventTest, WaitManyOverTwoSignalledEventsAnswersTheLowerIndex) {
  WaitableEvent first(true, false), second(true, false), third(true, false);
  WaitableEvent* events[] = {&first, &second, &third};
  third.Signal();
  second.Signal();
  EXPECT_EQ(1u, WaitableEvent::WaitMany(events, 3));
  // Manual-reset events stay signalled, so the answer does not change.
  EXPECT_EQ(1u, WaitableEvent::WaitMany(events, 3));
  first.Signal();
  EXPECT_EQ(0u, WaitableEvent::WaitMany(events, 3));
}

TEST(WaitableEventTest, TimedWaitManyAnswersTheCountWhenNothingIsSignalledInTime) {
  WaitableEvent first(true, false), second(true, false);
  WaitableEvent* events[] = {&first, &second};
  EXPECT_EQ(2u, WaitableEvent::TimedWaitMany(events, 2, TimeDelta()));
  EXPECT_EQ(2u, WaitableEvent::TimedWaitMany(events, 2, TimeDelta::FromMilliseconds(5)));
  second.Signal();
  EXPECT_EQ(1u, WaitableEvent::TimedWaitMany(events, 2, TimeDelta()));
}

TEST(WaitableEventTest, WaitManyConsumesOnlyTheAnsweredAutoResetEvent) {
  WaitableEvent first(false, false), second(false, false);
  WaitableEvent* events[] = {&first, &second};
  first.Signal();
  second.Signal();
  EXPECT_EQ(0u, WaitableEvent::WaitMany(events, 2));
  EXPECT_EQ(1u, WaitableEvent::WaitMany(events, 2));
  EXPECT_FALSE(first.IsSignaled());
  EXPECT_FALSE(second.IsSignaled());
}

TEST(WaitableEventTest, WaitManyWakesForAnEventSignalledLater) {
  WaitableEvent first(false, false), second(false, false);
  WaitableEvent* events[] = {&first, &second};
  WaitableEvent waiting(true, false);
  test::BackgroundThread signaller([&] { SignalOnceWaiting(&waiting, &second); });
  waiting.Signal();
  EXPECT_EQ(1u, WaitableEvent::WaitMany(events, 2));
}

TEST(WaitableEventTest, WaitManyOverMoreEventsThanTheOsCanWaitForIsFatal) {
  const size_t kTooMany = WaitableEvent::kMaximumWaitCount + 1;
  EXPECT_EXIT(
      {
        std::vector<WaitableEvent*> events;
        for (size_t i = 0; i < kTooMany; ++i)
          events.push_back(new WaitableEvent(true, true));
        WaitableEvent::WaitMany(events.data(), events.size());
      },
      testing::ExitedWithCode(test::kFailedCheckExitCode), "Check failed");
}

TEST(WaitableEventTest, AdoptedHandleIsOwnedAndReleasedHandleIsGivenAway) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(raw);
  base::win::ScopedHandle keeper;
  {
    WaitableEvent adopted(raw);
    EXPECT_EQ(raw, adopted.handle());
    adopted.Signal();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(raw, 0));
    keeper.Set(adopted.Release());
    EXPECT_NE(raw, adopted.handle());
  }
  // The event's destruction left the released handle open.
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(keeper.Get(), 0));
}

}  // namespace
