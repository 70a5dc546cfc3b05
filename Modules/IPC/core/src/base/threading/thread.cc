// The message-loop thread: start-up handshake, the thread body and stopping.
#include "base/threading/thread.h"

#include "base/bind.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_local.h"
#include "base/threading/thread_restrictions.h"

namespace base {

namespace {

// Whether each thread's loop ended through the quit task.
LazyInstance<ThreadLocalBoolean> lazy_tls_bool = LAZY_INSTANCE_INITIALIZER;

}  // namespace

// Lives on the starting thread's stack for the duration of a start.
struct Thread::StartupData {
  explicit StartupData(const Options& opt) : options(opt), event(false, false) {}

  const Options& options;
  WaitableEvent event;  // signalled by the new thread once its loop exists
};

Thread::Thread(const char* name)
    : started_(false),
      stopping_(false),
      startup_data_(nullptr),
      message_loop_(nullptr),
      thread_id_(0),
      name_(name) {}

Thread::~Thread() {
  Stop();
}

bool Thread::Start() {
  return StartWithOptions(Options());
}

bool Thread::StartWithOptions(const Options& options) {
  // A second OS thread would leave the first one unjoinable.
  if (started_)
    return false;

  SetThreadWasQuitProperly(false);

  StartupData startup_data(options);
  startup_data_ = &startup_data;

  if (!PlatformThread::Create(options.stack_size, this, &thread_)) {
    LOG(ERROR) << "failed to create thread \"" << name_ << "\"";
    startup_data_ = nullptr;
    return false;
  }

  {
    ThreadRestrictions::ScopedAllowWait allow_wait;
    startup_data.event.Wait();
  }

  startup_data_ = nullptr;
  started_ = true;
  return true;
}

void Thread::StopSoon() {
  if (stopping_ || !message_loop_proxy_)
    return;
  stopping_ = true;
  // Answers false when the loop has quit by itself and is gone; there is nothing to stop then.
  message_loop_proxy_->PostTask(FROM_HERE_WITH_FUNCTION("base::Thread::StopSoon"),
                                Bind(&Thread::QuitCurrentLoop));
}

void Thread::Stop() {
  if (!started_)
    return;

  StopSoon();
  PlatformThread::Join(std::move(thread_));

  DCHECK(!message_loop_);
  started_ = false;
  stopping_ = false;
  message_loop_proxy_ = nullptr;
}

// static
bool Thread::GetThreadWasQuitProperly() {
  return true;
}

void Thread::Run(MessageLoop* message_loop) {
  message_loop->Run();
}

// static
void Thread::SetThreadWasQuitProperly(bool flag) {
  lazy_tls_bool.Pointer()->Set(flag);
}

void Thread::ThreadMain() {
  {
    MessageLoop message_loop(startup_data_->options.message_loop_type);

    thread_id_ = PlatformThread::CurrentId();
    PlatformThread::SetName(name_.c_str());
    message_loop.set_thread_name(name_);
    message_loop_proxy_ = message_loop.message_loop_proxy();
    message_loop_ = &message_loop;

    Init();

    // The starter may return and drop the startup record from here on.
    startup_data_->event.Signal();

    Run(message_loop_);

    CleanUp();

    message_loop_ = nullptr;
  }
  thread_id_ = 0;
}

// static
void Thread::QuitCurrentLoop() {
  MessageLoop::current()->Quit();
  SetThreadWasQuitProperly(true);
}

}  // namespace base
