// The stack of at-exit managers and their tasks.
#include "base/at_exit.h"

#include "base/bind.h"

namespace base {

namespace {

// The manager that receives registrations, null when none exists. Managers are made and
// destroyed on one thread, so a plain pointer serves.
AtExitManager* g_top_manager = nullptr;

}  // namespace

AtExitManager::AtExitManager() : next_manager_(g_top_manager) {
  g_top_manager = this;
}

AtExitManager::~AtExitManager() {
  RunTasks();
  Unlink();
}

// static
void AtExitManager::RegisterCallback(AtExitCallbackType func, void* param) {
  RegisterTask(Bind(func, param));
}

// static
void AtExitManager::RegisterTask(Closure task) {
  AtExitManager* manager = g_top_manager;
  if (!manager)
    return;
  AutoLock lock(manager->lock_);
  manager->stack_.push(task);
}

// static
void AtExitManager::ProcessCallbacksNow() {
  if (g_top_manager)
    g_top_manager->RunTasks();
}

void AtExitManager::RunTasks() {
  for (;;) {
    Closure task;
    {
      AutoLock lock(lock_);
      if (stack_.empty())
        return;
      task = stack_.top();
      stack_.pop();
    }
    task.Run();
  }
}

// Managers are normally destroyed newest first; one destroyed out of turn still leaves
// the others linked.
void AtExitManager::Unlink() {
  AtExitManager** link = &g_top_manager;
  while (*link && *link != this)
    link = &(*link)->next_manager_;
  if (*link)
    *link = next_manager_;
}

}  // namespace base
