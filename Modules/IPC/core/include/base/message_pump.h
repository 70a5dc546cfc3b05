// The contract between a message loop and the pump that sleeps and wakes for it.
#ifndef BASE_MESSAGE_PUMP_H_
#define BASE_MESSAGE_PUMP_H_

#include "base/memory/ref_counted.h"

namespace base {

class TimeTicks;

// A pump runs its delegate's work calls in a fixed order, interleaved with the native events
// of its kind, and blocks in the OS when there is nothing to do.
// ScheduleWork may be called from any thread; everything else runs on the loop's thread.
class MessagePump : public RefCountedThreadSafe<MessagePump> {
 public:
  // Implemented by the message loop.
  class Delegate {
   public:
    virtual ~Delegate() {}

    // Runs at most one immediate task; answers whether it ran one.
    virtual bool DoWork() = 0;

    // Runs at most one due delayed task and reports through |next_delayed_work_time| when the
    // next one is due (null when there is none).
    virtual bool DoDelayedWork(TimeTicks* next_delayed_work_time) = 0;

    // Called when the other two found nothing; answers whether it did work.
    virtual bool DoIdleWork() = 0;
  };

  MessagePump() {}

  // Calls the delegate until Quit.
  virtual void Run(Delegate* delegate) = 0;

  // Makes the innermost Run return after the delegate call in progress.
  virtual void Quit() = 0;

  // From any thread: makes a sleeping Run call DoWork soon.
  virtual void ScheduleWork() = 0;

  // On the loop's thread: tells a running pump when DoDelayedWork is next due.
  virtual void ScheduleDelayedWork(const TimeTicks& delayed_work_time) = 0;

 protected:
  friend class RefCountedThreadSafe<MessagePump>;
  virtual ~MessagePump() {}

 private:
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_H_
