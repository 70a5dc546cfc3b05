// The Windows pump base and the IO pump over a completion port.
#include "base/message_pump_win.h"

#include <cmath>

#include "base/logging.h"
#include "base/metrics/problem_counter.h"

namespace base {

MessagePumpWin::MessagePumpWin() : have_work_(0), state_(nullptr) {}

MessagePumpWin::~MessagePumpWin() {}

void MessagePumpWin::AddObserver(MessagePumpObserver* observer) {
  observers_.AddObserver(observer);
}

void MessagePumpWin::RemoveObserver(MessagePumpObserver* observer) {
  observers_.RemoveObserver(observer);
}

void MessagePumpWin::WillProcessMessage(const MSG& msg) {
  FOR_EACH_OBSERVER(MessagePumpObserver, observers_, WillProcessMessage(msg));
}

void MessagePumpWin::DidProcessMessage(const MSG& msg) {
  FOR_EACH_OBSERVER(MessagePumpObserver, observers_, DidProcessMessage(msg));
}

void MessagePumpWin::RunWithDispatcher(Delegate* delegate, MessagePumpDispatcher* dispatcher) {
  RunState state;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  state.should_quit = false;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;

  RunState* previous_state = state_;
  state_ = &state;
  DoRunLoop();
  state_ = previous_state;
}

void MessagePumpWin::Run(Delegate* delegate) {
  RunWithDispatcher(delegate, nullptr);
}

void MessagePumpWin::Quit() {
  DCHECK(state_);
  if (state_)
    state_->should_quit = true;
}

int MessagePumpWin::GetCurrentDelay() const {
  if (delayed_work_time_.is_null())
    return -1;
  double milliseconds = std::ceil((delayed_work_time_ - TimeTicks::Now()).InMillisecondsF());
  if (milliseconds <= 0)
    return 0;
  // Beyond an int, as good as never; INFINITE must not come out of a finite delay.
  const double kLongestDelay = 0x7FFFFFFF;
  return static_cast<int>(milliseconds < kLongestDelay ? milliseconds : kLongestDelay);
}

//------------------------------------------------------------------------------
// MessagePumpForIO

MessagePumpForIO::MessagePumpForIO()
    : port_(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)) {
  CHECK(port_.IsValid()) << "CreateIoCompletionPort failed: " << GetLastError();
}

MessagePumpForIO::~MessagePumpForIO() {}

void MessagePumpForIO::ScheduleWork() {
  if (InterlockedExchange(&have_work_, 1))
    return;  // a wake-up packet is queued already

  // The pump itself is key and overlapped pointer, which no IO completion can carry.
  if (PostQueuedCompletionStatus(port_.Get(), 0, reinterpret_cast<ULONG_PTR>(this),
                                 reinterpret_cast<OVERLAPPED*>(this))) {
    return;
  }
  // Let the next ScheduleWork try again.
  InterlockedExchange(&have_work_, 0);
  MessageLoopProblemCounter::Get()->Add(COMPLETION_POST_ERROR);
}

void MessagePumpForIO::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  // The next wait takes its timeout from this time; the pump runs this on its own thread, so
  // it is not waiting now.
  delayed_work_time_ = delayed_work_time;
}

bool MessagePumpForIO::RegisterIOHandler(HANDLE file_handle, IOHandler* handler) {
  HANDLE port = CreateIoCompletionPort(file_handle, port_.Get(),
                                       reinterpret_cast<ULONG_PTR>(handler), 1);
  if (port == port_.Get())
    return true;
  const DWORD error = GetLastError();
  LOG(ERROR) << "RegisterIOHandler: CreateIoCompletionPort failed: " << error;
  return false;
}

void MessagePumpForIO::AddIOObserver(IOObserver* observer) {
  io_observers_.AddObserver(observer);
}

void MessagePumpForIO::RemoveIOObserver(IOObserver* observer) {
  io_observers_.RemoveObserver(observer);
}

void MessagePumpForIO::DoRunLoop() {
  for (;;) {
    bool more_work_is_plausible = state_->delegate->DoWork();
    if (state_->should_quit)
      break;

    // At most one completion, without blocking.
    more_work_is_plausible |= WaitForIOCompletion(0, nullptr);
    if (state_->should_quit)
      break;

    more_work_is_plausible |= state_->delegate->DoDelayedWork(&delayed_work_time_);
    if (state_->should_quit)
      break;
    if (more_work_is_plausible)
      continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit)
      break;
    if (more_work_is_plausible)
      continue;

    WaitForWork();
  }
}

void MessagePumpForIO::WaitForWork() {
  int timeout = GetCurrentDelay();
  WaitForIOCompletion(timeout < 0 ? INFINITE : static_cast<DWORD>(timeout), nullptr);
}

bool MessagePumpForIO::WaitForIOCompletion(DWORD timeout, IOHandler* filter) {
  IOItem item;
  if (completed_io_.empty() || !MatchCompletedIOItem(filter, &item)) {
    if (!GetIOItem(timeout, &item))
      return false;
    if (IsWakeUpItem(item)) {
      InterlockedExchange(&have_work_, 0);
      return true;
    }
  }

  if (!item.context->handler) {
    // The owner of the IO is gone and left the context to the pump.
    delete item.context;
    return true;
  }

  if (filter && item.handler != filter) {
    completed_io_.push_back(item);
    return true;
  }

  WillProcessIOEvent();
  item.handler->OnIOCompleted(item.context, item.bytes_transfered, item.error);
  DidProcessIOEvent();
  return true;
}

bool MessagePumpForIO::MatchCompletedIOItem(IOHandler* filter, IOItem* item) {
  for (std::list<IOItem>::iterator it = completed_io_.begin(); it != completed_io_.end(); ++it) {
    if (!filter || it->handler == filter) {
      *item = *it;
      completed_io_.erase(it);
      return true;
    }
  }
  return false;
}

bool MessagePumpForIO::GetIOItem(DWORD timeout, IOItem* item) {
  *item = IOItem();
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  if (!GetQueuedCompletionStatus(port_.Get(), &item->bytes_transfered, &key, &overlapped,
                                 timeout)) {
    if (!overlapped)
      return false;  // nothing arrived within the timeout
    // The IO itself failed: its handler hears of it with the OS error.
    item->error = GetLastError();
    item->bytes_transfered = 0;
  }
  item->handler = reinterpret_cast<IOHandler*>(key);
  item->context = reinterpret_cast<IOContext*>(overlapped);
  return true;
}

bool MessagePumpForIO::IsWakeUpItem(const IOItem& item) const {
  const void* self = this;
  return static_cast<const void*>(item.handler) == self &&
         static_cast<const void*>(item.context) == self;
}

void MessagePumpForIO::WillProcessIOEvent() {
  FOR_EACH_OBSERVER(IOObserver, io_observers_, WillProcessIOEvent());
}

void MessagePumpForIO::DidProcessIOEvent() {
  FOR_EACH_OBSERVER(IOObserver, io_observers_, DidProcessIOEvent());
}

}  // namespace base
