// The window-message pump: tasks between window messages, woken through a message-only window.
#include "base/message_pump_win.h"

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/metrics/problem_counter.h"

namespace base {

namespace {

const wchar_t kWndClass[] = L"Runtime_MessagePumpWindow";

// Posted to the pump's window, with the pump as wParam, to wake the pump.
const UINT kMsgHaveWork = WM_USER + 1;

// At most this many paint messages are handled by one PumpOutPendingPaintMessages.
const int kMaxPaintMessages = 20;

bool IsInOsModalLoop() {
  // The pump may run without a loop of its own (driven directly); then no modal loop is known.
  MessageLoop* loop = MessageLoop::current();
  return loop && loop->os_modal_loop();
}

}  // namespace

MessagePumpForUI::MessagePumpForUI() : instance_(nullptr), message_hwnd_(nullptr) {
  InitMessageWnd();
}

MessagePumpForUI::~MessagePumpForUI() {
  DestroyWindow(message_hwnd_);
  UnregisterClassW(kWndClass, instance_);
}

void MessagePumpForUI::InitMessageWnd() {
  // The class belongs to the module that holds the window procedure, whichever that is.
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<const char*>(&MessagePumpForUI::WndProcThunk), &instance_);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &MessagePumpForUI::WndProcThunk;
  wc.hInstance = instance_;
  wc.lpszClassName = kWndClass;
  // A second pump in the process finds the class registered already and shares it.
  RegisterClassExW(&wc);

  message_hwnd_ = CreateWindowExW(0, kWndClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance_, nullptr);
  CHECK(message_hwnd_) << "CreateWindowExW failed: " << GetLastError();
  // Lets the window procedure check the pump address a message claims to come from.
  SetWindowLongPtrW(message_hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

// static
LRESULT CALLBACK MessagePumpForUI::WndProcThunk(HWND hwnd, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  // Any process can post to the window; a wParam that is not this window's pump is no
  // pointer to follow.
  MessagePumpForUI* pump =
      reinterpret_cast<MessagePumpForUI*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (pump && wparam == reinterpret_cast<WPARAM>(pump)) {
    switch (message) {
      case kMsgHaveWork:
        pump->HandleWorkMessage();
        break;
      case WM_TIMER:
        pump->HandleTimerMessage();
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

UINT_PTR MessagePumpForUI::TimerId() const {
  return reinterpret_cast<UINT_PTR>(this);
}

void MessagePumpForUI::ScheduleWork() {
  if (InterlockedExchange(&have_work_, 1))
    return;  // one have-work message is enough

  if (PostMessageW(message_hwnd_, kMsgHaveWork, reinterpret_cast<WPARAM>(this), 0))
    return;

  // The thread's queue is full. Let the next ScheduleWork try again; until then tasks wait for
  // a wake-up of another kind.
  InterlockedExchange(&have_work_, 0);
  MessageLoopProblemCounter::Get()->Add(MESSAGE_POST_ERROR);
}

void MessagePumpForUI::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  delayed_work_time_ = delayed_work_time;

  // The pump runs due work from its own turns; the timer is for when a modal OS loop that
  // knows nothing of the message loop has taken the thread over.
  int delay = GetCurrentDelay();
  if (delay < static_cast<int>(USER_TIMER_MINIMUM))
    delay = USER_TIMER_MINIMUM;
  if (!SetTimer(message_hwnd_, TimerId(), delay, nullptr))
    MessageLoopProblemCounter::Get()->Add(SET_TIMER_ERROR);
}

void MessagePumpForUI::PumpOutPendingPaintMessages() {
  if (!state_)
    return;

  MSG msg;
  for (int i = 0; i < kMaxPaintMessages && !state_->should_quit; ++i) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
      break;
    ProcessMessageHelper(msg);
  }
}

void MessagePumpForUI::DoRunLoop() {
  for (;;) {
    bool more_work_is_plausible = ProcessNextWindowsMessage();
    if (state_->should_quit)
      break;

    more_work_is_plausible |= state_->delegate->DoWork();
    if (state_->should_quit)
      break;

    more_work_is_plausible |= state_->delegate->DoDelayedWork(&delayed_work_time_);
    // No delayed work is left, so the timer can only wake the pump for nothing.
    if (more_work_is_plausible && delayed_work_time_.is_null())
      KillTimer(message_hwnd_, TimerId());
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

void MessagePumpForUI::WaitForWork() {
  int delay = GetCurrentDelay();
  DWORD result = MsgWaitForMultipleObjectsEx(0, nullptr,
                                             delay < 0 ? INFINITE : static_cast<DWORD>(delay),
                                             QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result != WAIT_OBJECT_0)
    return;

  // Another thread's attached input can report mouse messages that this thread cannot
  // retrieve; waiting for a real message keeps that from becoming a tight loop.
  DWORD queue_status = GetQueueStatus(QS_MOUSE);
  MSG msg = {};
  if ((HIWORD(queue_status) & QS_MOUSE) &&
      !PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
    WaitMessage();
  }
}

void MessagePumpForUI::HandleWorkMessage() {
  // Dispatched by a native loop other than the pump's own, for example a message box outside
  // any run: nothing can run tasks now, but the next ScheduleWork must post again.
  if (!state_) {
    InterlockedExchange(&have_work_, 0);
    return;
  }

  // Let the foreign loop see its own messages, then run a task.
  ProcessPumpReplacementMessage();
  if (state_->delegate->DoWork())
    ScheduleWork();
}

void MessagePumpForUI::HandleTimerMessage() {
  KillTimer(message_hwnd_, TimerId());
  if (!state_)
    return;

  state_->delegate->DoDelayedWork(&delayed_work_time_);
  if (!delayed_work_time_.is_null())
    ScheduleDelayedWork(delayed_work_time_);
}

bool MessagePumpForUI::ProcessNextWindowsMessage() {
  // PeekMessageW delivers sent messages itself; if any were waiting the turn should look
  // again rather than sleep.
  bool sent_messages_in_queue = false;
  DWORD queue_status = GetQueueStatus(QS_SENDMESSAGE);
  if (HIWORD(queue_status) & QS_SENDMESSAGE)
    sent_messages_in_queue = true;

  MSG msg;
  if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    return ProcessMessageHelper(msg);
  return sent_messages_in_queue;
}

bool MessagePumpForUI::ProcessMessageHelper(const MSG& msg) {
  if (msg.message == WM_QUIT) {
    // An outer native loop must see the quit too.
    state_->should_quit = true;
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }

  if (msg.message == kMsgHaveWork && msg.hwnd == message_hwnd_)
    return ProcessPumpReplacementMessage();

  if (CallMsgFilterW(const_cast<MSG*>(&msg), kMessageFilterCode))
    return true;  // a message hook consumed it

  WillProcessMessage(msg);

  if (state_->dispatcher) {
    if (!state_->dispatcher->Dispatch(msg))
      state_->should_quit = true;
  } else {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  DidProcessMessage(msg);
  return true;
}

bool MessagePumpForUI::ProcessPumpReplacementMessage() {
  // A steady stream of have-work messages must not starve the others, so the have-work
  // message is replaced by one other message. Inside a modal OS loop only paint and timer
  // messages are taken; the rest belong to the modal loop.
  MSG msg;
  bool have_message = false;
  if (IsInOsModalLoop()) {
    have_message = PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE) ||
                   PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE);
  } else {
    have_message = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
  }

  // The have-work message has been consumed: the next ScheduleWork posts a new one.
  InterlockedExchange(&have_work_, 0);

  if (!have_message)
    return false;

  // Another slice is guaranteed before the removed message is handled.
  ScheduleWork();
  return ProcessMessageHelper(msg);
}

}  // namespace base
