// An OS thread that runs one message loop for its whole life.
#ifndef BASE_THREADING_THREAD_H_
#define BASE_THREADING_THREAD_H_

#include <atomic>
#include <cstddef>
#include <string>

#include "base/memory/ref_counted.h"
#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/threading/platform_thread.h"

namespace base {

// Start, StopSoon and Stop are called by the owning thread, never by the thread itself (Stop
// joins it). Once Start has returned, any thread may post to the thread's loop until Stop.
// Init runs on the new thread before Start returns; CleanUp runs there after the loop has
// quit, while the loop still exists. A subclass whose CleanUp must run stops the thread in
// its own destructor.
class Thread : PlatformThread::Delegate {
 public:
  struct Options {
    Options() : message_loop_type(MessageLoop::TYPE_DEFAULT), stack_size(0) {}
    Options(MessageLoop::Type type, size_t size) : message_loop_type(type), stack_size(size) {}

    MessageLoop::Type message_loop_type;
    size_t stack_size;  // 0 for the OS default
  };

  explicit Thread(const char* name);

  // Stops the thread.
  ~Thread() override;

  // Answer false, with nothing started, when the OS refuses a thread or the thread is started
  // already (Stop comes first). Otherwise they return once the new thread's loop exists and
  // Init has run.
  bool Start();
  bool StartWithOptions(const Options& options);

  // Asks the loop to quit once it has run every task that is ready. Once only.
  void StopSoon();

  // StopSoon, then waits for the thread to end. Delayed tasks not yet due die unrun. Nothing
  // when the thread is not started.
  void Stop();

  // Valid while the thread runs.
  MessageLoop* message_loop() const { return message_loop_; }

  // The loop's proxy; null before the first start.
  scoped_refptr<MessageLoopProxy> message_loop_proxy() const { return message_loop_proxy_; }

  const std::string& thread_name() const { return name_; }
  win::NativeHandle thread_handle() const { return thread_.Get(); }
  PlatformThreadId thread_id() const { return thread_id_; }
  bool IsRunning() const { return thread_id_ != 0; }
  bool thread_was_started() const { return started_; }

  // Whether the calling thread's loop ended through StopSoon's quit task. Kept, but never
  // consulted: always true.
  static bool GetThreadWasQuitProperly();

 protected:
  virtual void Init() {}
  virtual void Run(MessageLoop* message_loop);
  virtual void CleanUp() {}

  static void SetThreadWasQuitProperly(bool flag);

  void set_message_loop(MessageLoop* message_loop) { message_loop_ = message_loop; }

 private:
  struct StartupData;

  void ThreadMain() override;

  // The task StopSoon posts, run on the thread.
  static void QuitCurrentLoop();

  bool started_;   // set when a start succeeded, cleared by Stop
  bool stopping_;  // the quit task is posted

  StartupData* startup_data_;  // the starter's stack record, only during a start

  PlatformThreadHandle thread_;

  // Written by the new thread; the startup event orders the first writes before Start
  // returns.
  std::atomic<MessageLoop*> message_loop_;
  std::atomic<PlatformThreadId> thread_id_;  // 0 when not running

  // Kept from the start until Stop, so that stopping never touches a loop that has quit by
  // itself and been destroyed. Written by the new thread before it signals the start.
  scoped_refptr<MessageLoopProxy> message_loop_proxy_;

  const std::string name_;

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_H_
