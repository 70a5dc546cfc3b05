// The profiling part of a posted task: its birth record and its times.
#ifndef BASE_TRACKING_INFO_H_
#define BASE_TRACKING_INFO_H_

#include "base/time.h"

namespace tracked_objects {
class Births;
class Location;
}  // namespace tracked_objects

namespace base {

struct TrackingInfo {
  TrackingInfo();
  TrackingInfo(const tracked_objects::Location& posted_from, TimeTicks delayed_run_time);
  ~TrackingInfo();

  // The birth count of the posting site. The task profiler is never switched on, so this
  // stays null.
  tracked_objects::Births* birth_tally;

  TimeTicks time_posted;

  // When the task may run; null means as soon as possible.
  TimeTicks delayed_run_time;
};

}  // namespace base

#endif  // BASE_TRACKING_INFO_H_
