// At-exit managers: LIFO teardown, nesting, and registrations without a manager.
#include "base/at_exit.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "base/bind.h"

namespace {

using base::AtExitManager;

void Append(std::string* log, char c) {
  *log += c;
}

base::Closure AppendTask(std::string* log, char c) {
  return base::Bind(&Append, log, c);
}

void AppendB(void* log) {
  Append(static_cast<std::string*>(log), 'B');
}

TEST(AtExitTest, TasksRunLastRegisteredFirstWhenTheManagerGoes) {
  std::string log;
  {
    AtExitManager exit_manager;
    AtExitManager::RegisterTask(AppendTask(&log, 'A'));
    AtExitManager::RegisterCallback(&AppendB, &log);
    AtExitManager::RegisterTask(AppendTask(&log, 'C'));
    EXPECT_EQ("", log);
  }
  EXPECT_EQ("CBA", log);
}

TEST(AtExitTest, ProcessCallbacksNowRunsEachTaskOnce) {
  std::string log;
  {
    AtExitManager exit_manager;
    AtExitManager::RegisterTask(AppendTask(&log, 'A'));
    AtExitManager::RegisterTask(AppendTask(&log, 'B'));
    AtExitManager::ProcessCallbacksNow();
    EXPECT_EQ("BA", log);
    AtExitManager::ProcessCallbacksNow();
    AtExitManager::RegisterTask(AppendTask(&log, 'C'));
  }
  EXPECT_EQ("BAC", log);
}

TEST(AtExitTest, NestedManagerTakesRegistrationsUntilItGoes) {
  std::string log;
  {
    AtExitManager outer;
    AtExitManager::RegisterTask(AppendTask(&log, 'o'));
    {
      AtExitManager inner;
      AtExitManager::RegisterTask(AppendTask(&log, 'i'));
      AtExitManager::RegisterTask(AppendTask(&log, 'j'));
      AtExitManager::ProcessCallbacksNow();
      EXPECT_EQ("ji", log);
      AtExitManager::RegisterTask(AppendTask(&log, 'k'));
    }
    EXPECT_EQ("jik", log);
    AtExitManager::RegisterTask(AppendTask(&log, 'p'));
  }
  EXPECT_EQ("jikpo", log);
}

TEST(AtExitTest, RegistrationWithoutAManagerIsDropped) {
  std::string log;
  AtExitManager::RegisterTask(AppendTask(&log, 'A'));
  AtExitManager::RegisterCallback(&AppendB, &log);
  AtExitManager::ProcessCallbacksNow();
  {
    AtExitManager later_manager;
  }
  EXPECT_EQ("", log);
}

// Registering from a task that runs at exit must neither lose the new task nor run the
// running one twice.
struct Chain {
  std::string log;
};

void AppendAndRegisterMore(Chain* chain) {
  chain->log += 'A';
  AtExitManager::RegisterTask(AppendTask(&chain->log, 'B'));
}

TEST(AtExitTest, TaskRegisteredByARunningTaskRunsInTheSamePass) {
  Chain chain;
  {
    AtExitManager exit_manager;
    AtExitManager::RegisterTask(AppendTask(&chain.log, 'Z'));
    AtExitManager::RegisterTask(base::Bind(&AppendAndRegisterMore, &chain));
  }
  EXPECT_EQ("ABZ", chain.log);
}

// Destroying a manager out of turn runs its own tasks and leaves the stack intact.
TEST(AtExitTest, ManagerDestroyedOutOfTurnRunsOnlyItsOwnTasks) {
  std::string log;
  std::unique_ptr<AtExitManager> outer(new AtExitManager);
  AtExitManager::RegisterTask(AppendTask(&log, 'o'));
  std::unique_ptr<AtExitManager> inner(new AtExitManager);
  AtExitManager::RegisterTask(AppendTask(&log, 'i'));
  outer.reset();
  EXPECT_EQ("o", log);
  AtExitManager::RegisterTask(AppendTask(&log, 'j'));
  inner.reset();
  EXPECT_EQ("oji", log);
  AtExitManager::RegisterTask(AppendTask(&log, 'x'));
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ("oji", log);
}

}  // namespace
