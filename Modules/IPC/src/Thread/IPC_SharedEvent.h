// A manual-reset event shared by reference between a thread that waits on it and tasks or
// channels that signal or watch it: whoever is last lets it go, so a late signal never
// reaches a destroyed event.
#ifndef IPC_THREAD_IPC_SHAREDEVENT_H_
#define IPC_THREAD_IPC_SHAREDEVENT_H_

#include "base/memory/ref_counted.h"
#include "base/synchronization/waitable_event.h"

class IPC_SharedEvent : public base::RefCountedThreadSafe<IPC_SharedEvent> {
 public:
  IPC_SharedEvent() : m_Event(true, false) {}

  base::WaitableEvent* event() { return &m_Event; }
  void Signal() { m_Event.Signal(); }

 private:
  friend class base::RefCountedThreadSafe<IPC_SharedEvent>;
  ~IPC_SharedEvent() {}

  base::WaitableEvent m_Event;

  IPC_SharedEvent(const IPC_SharedEvent&) = delete;
  IPC_SharedEvent& operator=(const IPC_SharedEvent&) = delete;
};

#endif  // IPC_THREAD_IPC_SHAREDEVENT_H_
