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

IPC_ThreadSlots::IPC_ThreadSlots() : m_Slots() {}

// static
IPC_ThreadSlots& IPC_ThreadSlots::Get() {
  return g_thread_slots.Get();
}

void IPC_ThreadSlots::Fill(int thread_id, IPC_Thread* thread) {
  if (!IsValidId(thread_id))
    return;
  base::AutoLock lock(m_Lock);
  m_Slots[thread_id] = thread;
}

void IPC_ThreadSlots::Clear(int thread_id, IPC_Thread* thread) {
  if (!IsValidId(thread_id))
    return;
  base::AutoLock lock(m_Lock);
  // A newer thread of the same id may have taken the slot meanwhile.
  if (m_Slots[thread_id] == thread)
    m_Slots[thread_id] = nullptr;
}

scoped_refptr<base::MessageLoopProxy> IPC_ThreadSlots::ProxyOf(int thread_id) {
  if (!IsValidId(thread_id))
    return nullptr;
  base::AutoLock lock(m_Lock);
  IPC_Thread* thread = m_Slots[thread_id];
  if (!thread || !thread->message_loop())
    return nullptr;
  return thread->message_loop_proxy();
}

bool IPC_ThreadSlots::RunsOn(int thread_id, const MessageLoop* loop) {
  if (!IsValidId(thread_id) || !loop)
    return false;
  base::AutoLock lock(m_Lock);
  IPC_Thread* thread = m_Slots[thread_id];
  return thread && thread->message_loop() == loop;
}

// static
bool IPC_ThreadSlots::IsValidId(int thread_id) {
  return thread_id >= 0 && thread_id < IPC_THREAD_COUNT;
}
