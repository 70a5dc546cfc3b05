// Test threads that run beside the test body.
#include "support/background_thread.h"

#include <gtest/gtest.h>

#include "support/thread_runner.h"

namespace test {

BackgroundThread::BackgroundThread(std::function<void()> body)
    : delegate_(new FunctionDelegate(std::move(body))), started_(false), joined_(false) {
  started_ = base::PlatformThread::Create(0, delegate_.get(), &thread_);
}

BackgroundThread::~BackgroundThread() {
  if (started_ && !joined_) {
    EXPECT_TRUE(Join()) << "a test thread hung";
  }
}

bool BackgroundThread::Join() {
  if (!started_)
    return false;
  if (joined_)
    return true;
  if (!JoinWithDeadline(&thread_)) {
    // The hung thread still runs the delegate.
    delegate_.release();
    thread_.Take();
    started_ = false;
    return false;
  }
  joined_ = true;
  return true;
}

}  // namespace test
