// The pump of a default message loop: no native event source, it sleeps on an event.
#ifndef BASE_MESSAGE_PUMP_DEFAULT_H_
#define BASE_MESSAGE_PUMP_DEFAULT_H_

#include "base/message_pump.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"

namespace base {

// ScheduleWork may be called from any thread; everything else runs on the loop's thread.
class MessagePumpDefault : public MessagePump {
 public:
  MessagePumpDefault();

  void Run(Delegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

 protected:
  ~MessagePumpDefault() override;

 private:
  // Cleared by Quit and set again whenever Run returns, so a nested run that quits leaves the
  // outer one running.
  bool keep_running_;

  // Auto-reset: one signal wakes one wait, and a signal given while awake makes the next wait
  // return at once.
  WaitableEvent event_;

  TimeTicks delayed_work_time_;  // null when no delayed work is due
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_DEFAULT_H_
