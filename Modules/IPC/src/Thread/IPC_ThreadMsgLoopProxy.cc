// Task-runner slots forwarded to the thread environment's posting operations.
#include "Thread/IPC_ThreadMsgLoopProxy.h"

#include "Thread/IPC_ThreadEnviroment.h"

IPC_ThreadMsgLoopProxy::IPC_ThreadMsgLoopProxy(int thread_id) : m_iThreadId(thread_id) {}

IPC_ThreadMsgLoopProxy::~IPC_ThreadMsgLoopProxy() {}

bool IPC_ThreadMsgLoopProxy::PostDelayedTask(const tracked_objects::Location& from_here,
                                             const base::Closure& task,
                                             base::TimeDelta delay) {
  return IPC_ThreadEnviroment::PostDelayedTask(m_iThreadId, from_here, task, delay);
}

bool IPC_ThreadMsgLoopProxy::PostDelayedTask(const tracked_objects::Location& from_here,
                                             const base::Closure& task,
                                             int64_t delay_ms) {
  return IPC_ThreadEnviroment::PostDelayedTask(m_iThreadId, from_here, task, delay_ms);
}

bool IPC_ThreadMsgLoopProxy::RunsTasksOnCurrentThread() const {
  return IPC_ThreadEnviroment::CurrentlyOn(m_iThreadId);
}

bool IPC_ThreadMsgLoopProxy::PostNonNestableDelayedTask(
    const tracked_objects::Location& from_here,
    const base::Closure& task,
    base::TimeDelta delay) {
  return IPC_ThreadEnviroment::PostNonNestableDelayedTask(m_iThreadId, from_here, task, delay);
}

bool IPC_ThreadMsgLoopProxy::PostNonNestableDelayedTask(
    const tracked_objects::Location& from_here,
    const base::Closure& task,
    int64_t delay_ms) {
  return IPC_ThreadEnviroment::PostNonNestableDelayedTask(m_iThreadId, from_here, task,
                                                          delay_ms);
}
