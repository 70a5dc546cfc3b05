// Running the current thread's message loop until something has happened, with a deadline.
#ifndef SUPPORT_LOOP_RUNNER_H_
#define SUPPORT_LOOP_RUNNER_H_

#include <functional>

#include "support/thread_runner.h"

namespace test {

// Runs MessageLoop::current() until |done| holds; false when |timeout_ms| passed first.
// |done| is checked whenever a run of the loop ends, so whatever changes what it looks at
// also quits the current run (MessageLoop::current()->Quit(), or MessageLoop::QuitClosure()
// posted to the loop from another thread).
bool RunLoopUntil(const std::function<bool()>& done, unsigned long timeout_ms = kDeadlineMs);

// Runs the current loop for |ms| milliseconds, e.g. to show that nothing more arrives.
void RunLoopFor(unsigned long ms);

// For a MessageLoopForUI of the calling thread: waits up to kDeadlineMs, without running the
// loop, until work has been posted to it (its wake-up message is in the thread's queue).
bool WaitUntilWorkIsPosted();

}  // namespace test

#endif  // SUPPORT_LOOP_RUNNER_H_
