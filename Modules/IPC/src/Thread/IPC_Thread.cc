// The broker's threads and their slots.
#include "Thread/IPC_Thread.h"

#include "base/lazy_instance.h"
#include "base/logging.h"

namespace {

struct ThreadRow {
  const char* name;
  MessageLoop::Type loop_type;
};

const ThreadRow kThreadRows[IPC_THREAD_COUNT] = {
    {"MainThread", MessageLoop::TYPE_DEFAULT},
    {"IOThread", MessageLoop::TYPE_IO},
    {"EventThread", MessageLoop::TYPE_DEFAULT},
};

base::LazyInstance<IPC_ThreadSlots> g_thread_slots = LAZY_INSTANCE_INITIALIZER;

}  // namespace

IPC_Thread::IPC_Thread(int thread_id, const char* name)
    : base::Thread(name ? name : NameOf(thread_id)), m_iThreadId(thread_id) {
  IPC_ThreadSlots::Get().Fill(m_iThreadId, this);
}

void IPC_Thread::StartLoop() {
  if (StartWithOptions(base::Thread::Options(LoopTypeOf(m_iThreadId), 0)))
    IPC_ThreadSlots::Get().Publish(m_iThreadId, this, message_loop_proxy());
}

IPC_Thread::~IPC_Thread() {
  Stop();
  IPC_ThreadSlots::Get().Clear(m_iThreadId, this);
}

// static
const char* IPC_Thread::NameOf(int thread_id) {
  if (thread_id < 0 || thread_id >= IPC_THREAD_COUNT)
    return nullptr;
  return kThreadRows[thread_id].name;
}

// static
MessageLoop::Type IPC_Thread::LoopTypeOf(int thread_id) {
  DCHECK(NameOf(thread_id));
  return kThreadRows[thread_id].loop_type;
}

IPC_ThreadSlots::IPC_ThreadSlots() {
  for (Slot& slot : m_Slots)
    slot.thread = nullptr;
}

// static
IPC_ThreadSlots& IPC_ThreadSlots::Get() {
  return g_thread_slots.Get();
}

void IPC_ThreadSlots::Fill(int thread_id, IPC_Thread* thread) {
  if (!IsValidId(thread_id))
    return;
  base::AutoLock lock(m_Lock);
  m_Slots[thread_id].thread = thread;
  m_Slots[thread_id].loop = nullptr;
}

void IPC_ThreadSlots::Publish(int thread_id,
                              IPC_Thread* thread,
                              scoped_refptr<base::MessageLoopProxy> loop) {
  if (!IsValidId(thread_id))
    return;
  base::AutoLock lock(m_Lock);
  if (m_Slots[thread_id].thread == thread)
    m_Slots[thread_id].loop = loop;
}

void IPC_ThreadSlots::Clear(int thread_id, IPC_Thread* thread) {
  if (!IsValidId(thread_id))
    return;
  base::AutoLock lock(m_Lock);
  // A newer thread of the same id may have taken the slot meanwhile.
  if (m_Slots[thread_id].thread == thread) {
    m_Slots[thread_id].thread = nullptr;
    m_Slots[thread_id].loop = nullptr;
  }
}

scoped_refptr<base::MessageLoopProxy> IPC_ThreadSlots::ProxyOf(int thread_id) {
  if (!IsValidId(thread_id))
    return nullptr;
  base::AutoLock lock(m_Lock);
  return m_Slots[thread_id].loop;
}

bool IPC_ThreadSlots::RunsOnCurrentThread(int thread_id) {
  scoped_refptr<base::MessageLoopProxy> loop = ProxyOf(thread_id);
  return loop && loop->RunsTasksOnCurrentThread();
}

// static
bool IPC_ThreadSlots::IsValidId(int thread_id) {
  return thread_id >= 0 && thread_id < IPC_THREAD_COUNT;
}
