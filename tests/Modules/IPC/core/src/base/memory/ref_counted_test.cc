// Thread-safe reference counting, destruction traits, scoped_refptr and scoped_ptr.
#include "base/memory/ref_counted.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/memory/scoped_ptr.h"
#include "support/background_thread.h"
#include "support/delete_counter.h"

namespace {

class Tracked : public base::RefCountedThreadSafe<Tracked> {
 public:
  explicit Tracked(int* deletes) : deletes_(deletes) {}

 protected:
  friend class base::RefCountedThreadSafe<Tracked>;
  virtual ~Tracked() { ++*deletes_; }

 private:
  int* deletes_;
};

class DerivedTracked : public Tracked {
 public:
  explicit DerivedTracked(int* deletes) : Tracked(deletes) {}

 private:
  ~DerivedTracked() override {}
};

// Traits in the manner of the task runners': the last release calls a virtual hook that
// decides how the object goes.
class Hooked;
struct HookedTraits {
  static void Destruct(const Hooked* hooked);
};

class Hooked : public base::RefCountedThreadSafe<Hooked, HookedTraits> {
 public:
  Hooked(int* hook_calls, bool* deleted) : hook_calls_(hook_calls), deleted_(deleted) {}

 protected:
  virtual void OnDestruct() const {
    ++*hook_calls_;
    delete this;
  }
  virtual ~Hooked() { *deleted_ = true; }

 private:
  friend struct HookedTraits;

  int* hook_calls_;
  bool* deleted_;
};

void HookedTraits::Destruct(const Hooked* hooked) {
  hooked->OnDestruct();
}

TEST(RefCountedTest, LastReleaseDeletes) {
  int deletes = 0;
  Tracked* tracked = new Tracked(&deletes);
  tracked->AddRef();
  EXPECT_TRUE(tracked->HasOneRef());
  tracked->AddRef();
  EXPECT_FALSE(tracked->HasOneRef());
  tracked->Release();
  EXPECT_TRUE(tracked->HasOneRef());
  EXPECT_EQ(0, deletes);
  tracked->Release();
  EXPECT_EQ(1, deletes);
}

TEST(RefCountedTest, TraitsDecideTheDestruction) {
  int hook_calls = 0;
  bool deleted = false;
  scoped_refptr<Hooked> first(new Hooked(&hook_calls, &deleted));
  scoped_refptr<Hooked> second = first;
  first = nullptr;
  EXPECT_EQ(0, hook_calls);
  second = nullptr;
  EXPECT_EQ(1, hook_calls);
  EXPECT_TRUE(deleted);
}

void AddAndReleaseMany(Tracked* tracked) {
  for (int i = 0; i < 20000; ++i) {
    tracked->AddRef();
    tracked->Release();
  }
}

TEST(RefCountedTest, CountStaysExactUnderContention) {
  int deletes = 0;
  scoped_refptr<Tracked> tracked(new Tracked(&deletes));
  std::vector<std::unique_ptr<test::BackgroundThread>> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back(new test::BackgroundThread([&tracked] { AddAndReleaseMany(tracked.get()); }));
    ASSERT_TRUE(threads.back()->started());
  }
  for (const std::unique_ptr<test::BackgroundThread>& thread : threads)
    ASSERT_TRUE(thread->Join());
  EXPECT_TRUE(tracked->HasOneRef());
  EXPECT_EQ(0, deletes);
  tracked = nullptr;
  EXPECT_EQ(1, deletes);
}

TEST(ScopedRefptrTest, SelfAssignmentKeepsTheObject) {
  int deletes = 0;
  scoped_refptr<Tracked> tracked(new Tracked(&deletes));
  tracked = tracked.get();
  scoped_refptr<Tracked>& alias = tracked;
  tracked = alias;
  EXPECT_EQ(0, deletes);
  EXPECT_TRUE(tracked->HasOneRef());
}

TEST(ScopedRefptrTest, AssignmentReleasesTheOldObject) {
  int first_deletes = 0;
  int second_deletes = 0;
  scoped_refptr<Tracked> tracked(new Tracked(&first_deletes));
  tracked = new Tracked(&second_deletes);
  EXPECT_EQ(1, first_deletes);
  EXPECT_EQ(0, second_deletes);
}

TEST(ScopedRefptrTest, MoveHandsOverTheReference) {
  int deletes = 0;
  scoped_refptr<Tracked> source(new Tracked(&deletes));
  scoped_refptr<Tracked> target(std::move(source));
  EXPECT_FALSE(source);
  EXPECT_TRUE(target->HasOneRef());

  scoped_refptr<Tracked> assigned;
  assigned = std::move(target);
  EXPECT_FALSE(target);
  EXPECT_TRUE(assigned->HasOneRef());
  EXPECT_EQ(0, deletes);
}

TEST(ScopedRefptrTest, DerivedConvertsToBase) {
  int deletes = 0;
  scoped_refptr<DerivedTracked> derived(new DerivedTracked(&deletes));
  scoped_refptr<Tracked> base(derived);
  EXPECT_EQ(base, derived);
  EXPECT_FALSE(derived->HasOneRef());
  derived = nullptr;
  base = nullptr;
  EXPECT_EQ(1, deletes);
}

TEST(ScopedRefptrTest, SwapAndComparisons) {
  int deletes = 0;
  Tracked* raw_a = new Tracked(&deletes);
  Tracked* raw_b = new Tracked(&deletes);
  scoped_refptr<Tracked> a(raw_a);
  scoped_refptr<Tracked> b(raw_b);

  a.swap(b);
  EXPECT_EQ(raw_b, a.get());
  EXPECT_EQ(raw_a, b.get());
  EXPECT_TRUE(a == raw_b);
  EXPECT_TRUE(raw_a == b);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(a != nullptr);
  EXPECT_EQ(raw_b, &*a);

  scoped_refptr<Tracked> empty;
  EXPECT_TRUE(empty == nullptr);
  EXPECT_FALSE(empty);
  EXPECT_EQ(0, deletes);
}

TEST(ScopedPtrTest, ResetReleaseAndMove) {
  int deletes = 0;
  scoped_ptr<test::DeleteCounter> owner(new test::DeleteCounter(&deletes));
  test::DeleteCounter* raw = owner.get();
  owner.reset(raw);  // the same object: kept
  EXPECT_EQ(0, deletes);

  owner.reset(new test::DeleteCounter(&deletes));
  EXPECT_EQ(1, deletes);

  scoped_ptr<test::DeleteCounter> moved(std::move(owner));
  EXPECT_FALSE(owner);
  scoped_ptr<test::DeleteCounter> passed = moved.Pass();
  EXPECT_FALSE(moved);
  EXPECT_TRUE(passed);

  test::DeleteCounter* released = passed.release();
  EXPECT_FALSE(passed);
  EXPECT_EQ(1, deletes);
  delete released;
  EXPECT_EQ(2, deletes);

  {
    scoped_ptr<test::DeleteCounter> scoped(new test::DeleteCounter(&deletes));
  }
  EXPECT_EQ(3, deletes);
}

}  // namespace
