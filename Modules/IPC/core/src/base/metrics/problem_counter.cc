// The process-wide counter of message-pump wake-up failures.
#include "base/metrics/problem_counter.h"

#include <windows.h>

namespace base {

namespace {
const char kMessageLoopProblemName[] = "Runtime.MessageLoopProblem";
}  // namespace

MessageLoopProblemCounter::MessageLoopProblemCounter() : counts_() {}

// static
MessageLoopProblemCounter* MessageLoopProblemCounter::Get() {
  // Never destroyed: a pump on a late thread may still count while the process exits.
  static MessageLoopProblemCounter* const counter = new MessageLoopProblemCounter;
  return counter;
}

const char* MessageLoopProblemCounter::name() const {
  return kMessageLoopProblemName;
}

void MessageLoopProblemCounter::Add(MessageLoopProblem problem) {
  if (problem < 0 || problem >= MESSAGE_LOOP_PROBLEM_MAX)
    return;
  InterlockedIncrement(&counts_[problem]);
}

int MessageLoopProblemCounter::Count(MessageLoopProblem problem) const {
  if (problem < 0 || problem >= MESSAGE_LOOP_PROBLEM_MAX)
    return 0;
  return static_cast<int>(InterlockedCompareExchange(
      const_cast<volatile long*>(&counts_[problem]), 0, 0));
}

}  // namespace base
