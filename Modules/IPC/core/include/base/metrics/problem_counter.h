// A process-wide count of the message pumps' wake-up failures, kept under the name
// "Runtime.MessageLoopProblem" and created on first use.
#ifndef BASE_METRICS_PROBLEM_COUNTER_H_
#define BASE_METRICS_PROBLEM_COUNTER_H_

namespace base {

// The codes counted; their values are what a histogram of the problems records.
enum MessageLoopProblem {
  MESSAGE_POST_ERROR = 0,     // a have-work message could not be posted to the pump's window
  COMPLETION_POST_ERROR = 1,  // a wake-up packet could not be posted to the completion port
  SET_TIMER_ERROR = 2,        // the window timer for delayed work could not be set
  MESSAGE_LOOP_PROBLEM_MAX,
};

// Thread-safe: any thread may count, any thread may read.
class MessageLoopProblemCounter {
 public:
  // The process's one counter.
  static MessageLoopProblemCounter* Get();

  const char* name() const;

  void Add(MessageLoopProblem problem);

  // How often |problem| was counted since the process started.
  int Count(MessageLoopProblem problem) const;

 private:
  MessageLoopProblemCounter();

  volatile long counts_[MESSAGE_LOOP_PROBLEM_MAX];  // changed only by interlocked increment
};

}  // namespace base

#endif  // BASE_METRICS_PROBLEM_COUNTER_H_
