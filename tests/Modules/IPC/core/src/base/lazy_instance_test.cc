// Lazily built process-wide objects: one construction under contention, and destruction
// by the at-exit manager for the default kind only.
#include "base/lazy_instance.h"

#include <atomic>
#include <cstdint>

#include <gtest/gtest.h>

#include "base/at_exit.h"
#include "base/threading/platform_thread.h"
#include "support/deadline.h"
#include "support/thread_runner.h"

namespace {

// Counts constructions and destructions per |Tag|, so each test has a type of its own.
template <int Tag>
class Counted {
 public:
  Counted() { ++constructions; }
  ~Counted() { ++destructions; }

  static std::atomic<int> constructions;
  static std::atomic<int> destructions;
};

template <int Tag>
std::atomic<int> Counted<Tag>::constructions(0);
template <int Tag>
std::atomic<int> Counted<Tag>::destructions(0);

std::atomic<int> g_racers_arrived(0);

// Built only once both racers have come for the instance, so that the second comes while the
// first is still building.
class SlowToBuild : public Counted<0> {
 public:
  SlowToBuild() {
    test::WaitUntil([] { return g_racers_arrived == 2; }, test::kDeadlineMs);
  }
};

base::LazyInstance<SlowToBuild> g_contended = LAZY_INSTANCE_INITIALIZER;

TEST(LazyInstanceTest, ThreadsRacingForTheInstanceBuildItOnceAndShareIt) {
  SlowToBuild* seen[2] = {nullptr, nullptr};
  test::FunctionDelegate first([&] {
    ++g_racers_arrived;
    seen[0] = g_contended.Pointer();
  });
  test::FunctionDelegate second([&] {
    ++g_racers_arrived;
    seen[1] = &g_contended.Get();
  });
  base::PlatformThreadHandle first_thread;
  base::PlatformThreadHandle second_thread;
  ASSERT_TRUE(base::PlatformThread::Create(0, &first, &first_thread));
  ASSERT_TRUE(base::PlatformThread::Create(0, &second, &second_thread));
  ASSERT_TRUE(test::JoinWithDeadline(&first_thread));
  ASSERT_TRUE(test::JoinWithDeadline(&second_thread));
  EXPECT_EQ(1, SlowToBuild::constructions);
  ASSERT_NE(nullptr, seen[0]);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0], g_contended.Pointer());
}

typedef Counted<1> Destroyed;
base::LazyInstance<Destroyed> g_destroyed = LAZY_INSTANCE_INITIALIZER;

TEST(LazyInstanceTest, DefaultKindIsDestroyedWithTheAtExitManagerAndBuiltAfreshAfterwards) {
  {
    base::AtExitManager exit_manager;
    Destroyed* first = g_destroyed.Pointer();
    EXPECT_EQ(first, g_destroyed.Pointer());
    EXPECT_EQ(1, Destroyed::constructions);
    EXPECT_EQ(0, Destroyed::destructions);
  }
  EXPECT_EQ(1, Destroyed::destructions);
  // A use after the teardown gets a new object, not the destroyed one.
  base::AtExitManager exit_manager;
  g_destroyed.Get();
  EXPECT_EQ(2, Destroyed::constructions);
  base::AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(2, Destroyed::destructions);
}

typedef Counted<2> Leaked;
base::LazyInstance<Leaked>::Leaky g_leaky = LAZY_INSTANCE_INITIALIZER;

TEST(LazyInstanceTest, LeakyKindIsNeverDestroyed) {
  {
    base::AtExitManager exit_manager;
    g_leaky.Get();
  }
  EXPECT_EQ(1, Leaked::constructions);
  EXPECT_EQ(0, Leaked::destructions);
}

typedef Counted<3> Unmanaged;
base::LazyInstance<Unmanaged> g_unmanaged = LAZY_INSTANCE_INITIALIZER;

TEST(LazyInstanceTest, InstanceBuiltWithoutAnAtExitManagerIsNeverDestroyed) {
  g_unmanaged.Get();
  {
    base::AtExitManager later_manager;
  }
  EXPECT_EQ(1, Unmanaged::constructions);
  EXPECT_EQ(0, Unmanaged::destructions);
}

struct alignas(16) Aligned {
  double values[2];
};
base::LazyInstance<Aligned>::Leaky g_aligned = LAZY_INSTANCE_INITIALIZER;

TEST(LazyInstanceTest, StorageKeepsTheTypesAlignment) {
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(g_aligned.Pointer()) % alignof(Aligned));
}

// A static constructor earlier in this file uses an instance defined after it: the
// instance must already be usable, and must not be reset when its own definition is
// reached.
typedef Counted<4> Early;
extern base::LazyInstance<Early>::Leaky g_early;
struct EarlyUser {
  EarlyUser() : seen(g_early.Pointer()) {}
  Early* seen;
};
EarlyUser g_early_user;
base::LazyInstance<Early>::Leaky g_early = LAZY_INSTANCE_INITIALIZER;

TEST(LazyInstanceTest, InstanceIsUsableFromStaticConstructors) {
  EXPECT_EQ(g_early_user.seen, g_early.Pointer());
  EXPECT_EQ(1, Early::constructions);
}

}  // namespace
