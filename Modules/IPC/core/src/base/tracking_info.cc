// The profiling part of a posted task.
#include "base/tracking_info.h"

#include "base/location.h"

namespace base {

TrackingInfo::TrackingInfo() : birth_tally(nullptr) {}

TrackingInfo::TrackingInfo(const tracked_objects::Location& /*posted_from*/,
                           TimeTicks delayed_run_time)
    : birth_tally(nullptr), time_posted(TimeTicks::Now()), delayed_run_time(delayed_run_time) {}

TrackingInfo::~TrackingInfo() {}

}  // namespace base
