// The default pump's turn: immediate work, delayed work, idle work, then sleep.
#include "base/message_pump_default.h"

namespace base {

MessagePumpDefault::MessagePumpDefault()
    : keep_running_(true), event_(false, false) {}

MessagePumpDefault::~MessagePumpDefault() {}

void MessagePumpDefault::Run(Delegate* delegate) {
  for (;;) {
    bool did_work = delegate->DoWork();
    if (!keep_running_)
      break;

    did_work |= delegate->DoDelayedWork(&delayed_work_time_);
    if (!keep_running_)
      break;
    if (did_work)
      continue;

    did_work = delegate->DoIdleWork();
    if (!keep_running_)
      break;
    if (did_work)
      continue;

    if (delayed_work_time_.is_null()) {
      event_.Wait();
      continue;
    }
    TimeDelta delay = delayed_work_time_ - TimeTicks::Now();
    if (delay > TimeDelta()) {
      event_.TimedWait(delay);
    } else {
      // The delayed work is due already: look at it again instead of sleeping.
      delayed_work_time_ = TimeTicks();
    }
  }
  keep_running_ = true;
}

void MessagePumpDefault::Quit() {
  keep_running_ = false;
}

void MessagePumpDefault::ScheduleWork() {
  event_.Signal();
}

void MessagePumpDefault::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  // Called on the pump's own thread, so the pump is awake and sees the time before it waits.
  delayed_work_time_ = delayed_work_time;
}

}  // namespace base
