// Teardown work run when the process's at-exit manager goes away, most recently
// registered first.
#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <stack>

#include "base/callback.h"
#include "base/synchronization/lock.h"

namespace base {

// Managers stack: a new manager becomes the one that receives registrations until it is
// destroyed, when it runs its own tasks and the manager below takes over again. Create and
// destroy managers on one thread; register from any thread. With no manager, registered
// work is dropped: it never runs.
class AtExitManager {
 public:
  typedef void (*AtExitCallbackType)(void* param);

  AtExitManager();
  ~AtExitManager();

  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;

  // Registers |func|(|param|) with the top manager.
  static void RegisterCallback(AtExitCallbackType func, void* param);
  static void RegisterTask(Closure task);

  // Runs and removes every task of the top manager, last registered first. A task may
  // register further tasks; they run in the same call.
  static void ProcessCallbacksNow();

 private:
  // Runs this manager's tasks, each outside the lock so that a task may register more.
  void RunTasks();
  void Unlink();

  Lock lock_;
  std::stack<Closure> stack_;  // guarded by lock_
  AtExitManager* next_manager_;
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_
