// ObserverVector: changes to the vector, and its destruction, during a notification pass.
#include "base/observer_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

namespace {

class Observer {
 public:
  virtual ~Observer() {}
  virtual void Notify() = 0;
};

// Appends its name to a shared log and then runs an optional action.
class Recorder : public Observer {
 public:
  Recorder(std::string* log, char name) : log_(log), name_(name) {}

  void set_action(std::function<void()> action) { action_ = action; }

  void Notify() override {
    *log_ += name_;
    if (action_)
      action_();
  }

 private:
  std::string* log_;
  char name_;
  std::function<void()> action_;
};

typedef ObserverVector<Observer> Observers;

class ObserverVectorTest : public testing::Test {
 protected:
  ObserverVectorTest() : a_(&log_, 'a'), b_(&log_, 'b'), c_(&log_, 'c'), d_(&log_, 'd') {}

  // One pass; answers the names called, in order.
  std::string NotifyAll(Observers& observers) {
    log_.clear();
    FOR_EACH_OBSERVER(Observer, observers, Notify());
    return log_;
  }

  static void AddAll(Observers& observers, std::initializer_list<Recorder*> recorders) {
    for (Recorder* recorder : recorders)
      observers.AddObserver(recorder);
  }

  std::string log_;
  Recorder a_, b_, c_, d_;
};

TEST_F(ObserverVectorTest, AddIgnoresDuplicatesAndRemoveIgnoresStrangers) {
  Observers observers;
  EXPECT_FALSE(observers.might_have_observers());
  AddAll(observers, {&a_, &b_, &a_});
  observers.AddObserver(nullptr);
  EXPECT_EQ(2u, observers.size());
  observers.RemoveObserver(&c_);
  EXPECT_EQ("ab", NotifyAll(observers));
  observers.RemoveObserver(&a_);
  EXPECT_EQ("b", NotifyAll(observers));
  EXPECT_TRUE(observers.HasObserver(&b_));
  EXPECT_FALSE(observers.HasObserver(&a_));
}

TEST_F(ObserverVectorTest, ObserverRemovingItselfIsNotCalledAgainAndSkipsNobody) {
  Observers observers;
  AddAll(observers, {&a_, &b_, &c_});
  b_.set_action([&] { observers.RemoveObserver(&b_); });

  EXPECT_EQ("abc", NotifyAll(observers));
  EXPECT_EQ(2u, observers.size());  // compacted after the pass
  EXPECT_EQ("ac", NotifyAll(observers));
}

TEST_F(ObserverVectorTest, RemovingAnotherObserverDuringThePass) {
  Observers observers;
  AddAll(observers, {&a_, &b_, &c_, &d_});
  // b removes one already called and one still to come.
  b_.set_action([&] {
    observers.RemoveObserver(&a_);
    observers.RemoveObserver(&c_);
  });

  EXPECT_EQ("abd", NotifyAll(observers));
  EXPECT_EQ("bd", NotifyAll(observers));
}

TEST_F(ObserverVectorTest, ObserverAddedDuringThePassIsCalledInIt) {
  Observers observers;
  observers.AddObserver(&a_);
  a_.set_action([&] { observers.AddObserver(&b_); });

  EXPECT_EQ("ab", NotifyAll(observers));
  EXPECT_EQ("ab", NotifyAll(observers));
}

TEST_F(ObserverVectorTest, ExistingOnlyModeLeavesNewcomersForTheNextPass) {
  Observers observers(Observers::NOTIFY_EXISTING_ONLY);
  observers.AddObserver(&a_);
  a_.set_action([&] { observers.AddObserver(&b_); });

  EXPECT_EQ("a", NotifyAll(observers));
  EXPECT_EQ("ab", NotifyAll(observers));
}

TEST_F(ObserverVectorTest, RemovedAndAddedAgainDuringThePassIsCalledOnceMore) {
  Observers observers;
  AddAll(observers, {&a_, &b_});
  bool once = true;
  b_.set_action([&] {
    if (!once)
      return;
    once = false;
    observers.RemoveObserver(&a_);
    observers.AddObserver(&a_);
  });

  EXPECT_EQ("aba", NotifyAll(observers));
  EXPECT_EQ("ba", NotifyAll(observers));
}

TEST_F(ObserverVectorTest, NestedPassCompactsOnlyWhenTheOuterPassEnds) {
  Observers observers;
  AddAll(observers, {&a_, &b_, &c_});
  bool nested = false;
  a_.set_action([&] {
    if (nested)
      return;
    nested = true;
    observers.RemoveObserver(&b_);
    FOR_EACH_OBSERVER(Observer, observers, Notify());
    EXPECT_EQ(3u, observers.size());  // the outer pass still walks these indices
  });

  EXPECT_EQ("aacc", NotifyAll(observers));
  EXPECT_EQ(2u, observers.size());
}

TEST_F(ObserverVectorTest, DestroyingTheVectorDuringThePassEndsIt) {
  Observers* observers = new Observers;
  AddAll(*observers, {&a_, &b_, &c_});
  b_.set_action([&] { delete observers; });

  EXPECT_EQ("ab", NotifyAll(*observers));
}

TEST_F(ObserverVectorTest, ClearDuringThePassStopsTheRest) {
  Observers observers;
  AddAll(observers, {&a_, &b_});
  a_.set_action([&] { observers.Clear(); });

  EXPECT_EQ("a", NotifyAll(observers));
  EXPECT_FALSE(observers.might_have_observers());
}

}  // namespace
