// The window-message pump, driven directly and through a UI loop: its wake-up message and
// timer inside foreign and modal loops, WM_QUIT, the dispatcher, observers and paint pumping.
// Needs a display.
#include "base/message_pump_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop_proxy.h"
#include "base/message_loop_win.h"
#include "base/metrics/problem_counter.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "support/background_thread.h"
#include "support/deadline.h"
#include "support/test_pump_delegate.h"
#include "support/thread_runner.h"
#include "support/under_wine.h"
#include "support/unique_name.h"

namespace {

using base::MessagePumpForUI;
using base::TimeDelta;
using base::TimeTicks;
using base::WaitableEvent;
using test::TestPumpDelegate;

const UINT kTestMessage = WM_APP + 1;
const UINT kStopMessage = WM_APP + 2;
const UINT kLaterMessage = WM_APP + 3;
const UINT kHookedMessage = WM_APP + 4;
const UINT kHaveWorkMessage = WM_USER + 1;

void DoNothing() {}

void PostQuit(int exit_code) {
  PostQuitMessage(exit_code);
}

void DrainThreadQueue() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

bool ThreadQueueHolds(UINT message) {
  MSG msg;
  return PeekMessageW(&msg, nullptr, message, message, PM_NOREMOVE) != FALSE;
}

const wchar_t kPumpWindowClass[] = L"Runtime_MessagePumpWindow";

// The first message-only pump window of this process: the pumps of other test programs
// running at the same time have windows of that class too.
HWND FindOwnPumpWindow() {
  HWND window = nullptr;
  while ((window = FindWindowExW(HWND_MESSAGE, window, kPumpWindowClass, nullptr))) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == GetCurrentProcessId())
      return window;
  }
  return nullptr;
}

// Finds a top-level message box by its title, from any thread.
HWND FindMessageBox(const std::wstring& title) {
  return FindWindowW(L"#32770", title.c_str());
}

// Closes the message box titled |title| if it is still open once |closed| has not been
// signalled within the deadline, so a broken pump fails the test instead of hanging it.
class MessageBoxWatchdog {
 public:
  explicit MessageBoxWatchdog(const std::wstring& title)
      : closed_(true, false),
        title_(title),
        thread_([this] {
          if (closed_.TimedWait(TimeDelta::FromMilliseconds(test::kDeadlineMs)))
            return;
          fired_ = true;
          PostMessageW(FindMessageBox(title_), WM_CLOSE, 0, 0);
        }) {}

  void BoxClosed() { closed_.Signal(); }
  bool fired() const { return fired_; }

 private:
  WaitableEvent closed_;
  std::wstring title_;
  volatile bool fired_ = false;
  test::BackgroundThread thread_;
};

// Records what the observers are told.
class RecordingObserver : public base::MessagePumpObserver {
 public:
  void WillProcessMessage(const MSG& msg) override { will_.push_back(msg.message); }
  void DidProcessMessage(const MSG& msg) override { did_.push_back(msg.message); }
  std::vector<UINT> will_;
  std::vector<UINT> did_;
};

// Takes every message in place of TranslateMessage and DispatchMessage, and asks the run to
// quit at kStopMessage.
class RecordingDispatcher : public base::MessagePumpDispatcher {
 public:
  bool Dispatch(const MSG& msg) override {
    dispatched_.push_back(msg.message);
    return msg.message != kStopMessage;
  }
  std::vector<UINT> dispatched_;
};

class MessagePumpForUITest : public testing::Test {
 protected:
  MessagePumpForUITest() : pump_(new MessagePumpForUI), delegate_(pump_.get()) {
    DrainThreadQueue();
    delegate_.SetDeadline(TimeDelta::FromMilliseconds(test::kDeadlineMs));
  }
  ~MessagePumpForUITest() override { DrainThreadQueue(); }

  scoped_refptr<MessagePumpForUI> pump_;
  TestPumpDelegate delegate_;
};

TEST_F(MessagePumpForUITest, WmQuitEndsTheRunAndIsPostedAgainForTheOuterLoop) {
  delegate_.PostTask(base::Bind(&PostQuit, 7));
  pump_->Run(&delegate_);

  EXPECT_FALSE(delegate_.timed_out());
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
  EXPECT_EQ(7u, msg.wParam);
}

TEST_F(MessagePumpForUITest, DispatcherReturningFalseEndsTheRunAfterTheCurrentMessage) {
  RecordingDispatcher dispatcher;
  PostThreadMessageW(GetCurrentThreadId(), kTestMessage, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), kStopMessage, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), kLaterMessage, 0, 0);
  pump_->RunWithDispatcher(&delegate_, &dispatcher);

  EXPECT_FALSE(delegate_.timed_out());
  EXPECT_EQ((std::vector<UINT>{kTestMessage, kStopMessage}), dispatcher.dispatched_);
  EXPECT_TRUE(ThreadQueueHolds(kLaterMessage));
}

TEST_F(MessagePumpForUITest, ObserversSeeEveryMessageButNotThePumpsOwnWakeUps) {
  RecordingObserver observer;
  pump_->AddObserver(&observer);
  // The task's wake-up message is queued ahead of the test message.
  delegate_.PostTask(base::Bind(&DoNothing));
  PostThreadMessageW(GetCurrentThreadId(), kTestMessage, 0, 0);
  delegate_.QuitWhenIdle();
  pump_->Run(&delegate_);
  pump_->RemoveObserver(&observer);

  EXPECT_EQ(1, delegate_.tasks_run());
  EXPECT_EQ(std::vector<UINT>{kTestMessage}, observer.will_);
  EXPECT_EQ(std::vector<UINT>{kTestMessage}, observer.did_);
}

int g_hook_code = -1;
LRESULT CALLBACK ConsumeHookedMessage(int code, WPARAM wparam, LPARAM lparam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lparam);
  if (msg->message == kHookedMessage) {
    g_hook_code = code;
    return TRUE;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(MessagePumpForUITest, MessageConsumedByAMessageFilterHookIsNotDispatched) {
  HHOOK hook = SetWindowsHookExW(WH_MSGFILTER, &ConsumeHookedMessage, nullptr,
                                 GetCurrentThreadId());
  ASSERT_TRUE(hook);
  RecordingObserver observer;
  RecordingDispatcher dispatcher;
  pump_->AddObserver(&observer);
  PostThreadMessageW(GetCurrentThreadId(), kHookedMessage, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), kStopMessage, 0, 0);
  pump_->RunWithDispatcher(&delegate_, &dispatcher);
  pump_->RemoveObserver(&observer);
  UnhookWindowsHookEx(hook);

  EXPECT_EQ(MessagePumpForUI::kMessageFilterCode, g_hook_code);
  EXPECT_EQ(std::vector<UINT>{kStopMessage}, dispatcher.dispatched_);
  EXPECT_EQ(std::vector<UINT>{kStopMessage}, observer.will_);
}

TEST_F(MessagePumpForUITest, ScheduleWorkFromAnotherThreadWakesTheWait) {
  EXPECT_EQ(1, test::RunWokenFromAnotherThread(pump_.get()));
}

TEST_F(MessagePumpForUITest, DelayedWorkRunsWhenDue) {
  const TimeTicks started = TimeTicks::Now();
  delegate_.PostDelayedTask(delegate_.QuitWhenIdleTask(),
                            started + TimeDelta::FromMilliseconds(30));
  pump_->Run(&delegate_);

  EXPECT_FALSE(delegate_.timed_out());
  EXPECT_GE(TimeTicks::Now() - started, TimeDelta::FromMilliseconds(30));
}

// One pass of a native loop of the test's own, which knows nothing of the pump.
void DispatchQueuedMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Runs the foreign loop until |count| more tasks have run.
void RunForeignLoopUntilTasksRan(TestPumpDelegate* delegate, int count, int* ran_inside) {
  const int target = delegate->tasks_run() + count;
  for (int i = 0; i < count; ++i)
    delegate->PostTask(base::Bind(&DoNothing));
  test::WaitUntil(
      [delegate, target] {
        DispatchQueuedMessages();
        return delegate->tasks_run() >= target;
      },
      test::kDeadlineMs);
  *ran_inside = delegate->tasks_run() - (target - count);
}

TEST_F(MessagePumpForUITest, HaveWorkMessageDispatchedByAForeignLoopRunsTasks) {
  int ran_inside = 0;
  delegate_.PostTask(base::Bind(&RunForeignLoopUntilTasksRan, &delegate_, 3, &ran_inside));
  delegate_.PostTask(delegate_.QuitWhenIdleTask());
  pump_->Run(&delegate_);

  EXPECT_FALSE(delegate_.timed_out());
  // The quit task posted behind them may run inside the foreign loop too.
  EXPECT_GE(ran_inside, 3);
}

TEST_F(MessagePumpForUITest, HaveWorkMessageDispatchedOutsideARunLetsTheNextWakeUpPostAgain) {
  pump_->ScheduleWork();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, kHaveWorkMessage, kHaveWorkMessage, PM_REMOVE));
  // A native loop outside any run hands the wake-up to the pump's window.
  DispatchMessageW(&msg);

  pump_->ScheduleWork();
  EXPECT_TRUE(ThreadQueueHolds(kHaveWorkMessage));
}

TEST_F(MessagePumpForUITest, OneWakeUpMessageIsOutstandingAtATime) {
  pump_->ScheduleWork();
  pump_->ScheduleWork();
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, kHaveWorkMessage, kHaveWorkMessage, PM_REMOVE));
  EXPECT_FALSE(ThreadQueueHolds(kHaveWorkMessage));
}

// Fills the thread's message queue until the OS refuses another post; false if it never does
// within |limit| posts.
bool FillThreadQueue(int limit) {
  for (int i = 0; i < limit; ++i) {
    if (!PostThreadMessageW(GetCurrentThreadId(), kTestMessage, 0, 0))
      return true;
  }
  return false;
}

TEST_F(MessagePumpForUITest, FailedWakeUpPostIsCountedAndTheNextWakeUpTriesAgain) {
  if (test::RunningUnderWine())
    GTEST_SKIP() << "Wine does not limit a thread's message queue";
  // Windows caps a thread's queue at 10000 posted messages.
  ASSERT_TRUE(FillThreadQueue(20000)) << "the thread's message queue has no limit";
  base::MessageLoopProblemCounter* counter = base::MessageLoopProblemCounter::Get();
  const int failures = counter->Count(base::MESSAGE_POST_ERROR);
  pump_->ScheduleWork();
  EXPECT_EQ(failures + 1, counter->Count(base::MESSAGE_POST_ERROR));

  DrainThreadQueue();
  pump_->ScheduleWork();
  EXPECT_TRUE(ThreadQueueHolds(kHaveWorkMessage));
  EXPECT_EQ(failures + 1, counter->Count(base::MESSAGE_POST_ERROR));
}

// Inside a message box: checks that the earlier tasks ran inside it, then closes it.
struct MessageBoxRun {
  std::wstring title;
  int tasks_before_close = 0;
  int result = 0;
  TestPumpDelegate* delegate = nullptr;
  MessageBoxWatchdog* watchdog = nullptr;
};

void CloseMessageBox(MessageBoxRun* run) {
  run->tasks_before_close = run->delegate->tasks_run();
  PostMessageW(FindMessageBox(run->title), WM_CLOSE, 0, 0);
}

// Posts more work, which wakes the pump while the box's own loop owns the thread, then shows
// the box.
void ShowMessageBox(MessageBoxRun* run) {
  run->delegate->PostTask(base::Bind(&DoNothing));
  run->delegate->PostTask(base::Bind(&DoNothing));
  run->delegate->PostTask(run->delegate->QuitWhenIdleTask());
  run->result = MessageBoxW(nullptr, L"pump test", run->title.c_str(), MB_OK);
  run->watchdog->BoxClosed();
}

TEST_F(MessagePumpForUITest, TasksAndDelayedTasksKeepRunningInsideAMessageBox) {
  MessageBoxRun run;
  run.title = test::UniqueWideName(L"pump box ");
  run.delegate = &delegate_;
  MessageBoxWatchdog watchdog(run.title);
  run.watchdog = &watchdog;

  delegate_.PostTask(base::Bind(&ShowMessageBox, &run));
  // Reaches the box only through the pump's window timer.
  delegate_.PostDelayedTask(base::Bind(&CloseMessageBox, &run),
                            TimeTicks::Now() + TimeDelta::FromMilliseconds(200));
  pump_->Run(&delegate_);

  EXPECT_FALSE(watchdog.fired());
  EXPECT_NE(0, run.result);
  // The box, the two tasks and the quit request ran before the closing task, which counts
  // itself.
  EXPECT_EQ(5, run.tasks_before_close);
}

// A window that is never validated keeps asking for paint.
LRESULT CALLBACK NeverValidatedWndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    ++*reinterpret_cast<int*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Counts the paints that one PumpOutPendingPaintMessages handles, then ends the run, which
// the endless paints would otherwise keep busy.
void PumpOutPaintAndQuit(MessagePumpForUI* pump, const int* paints, int* pumped_out) {
  const int before = *paints;
  pump->PumpOutPendingPaintMessages();
  *pumped_out = *paints - before;
  pump->Quit();
}

TEST_F(MessagePumpForUITest, PumpOutPendingPaintMessagesHandlesAtMostTwentyAndOnlyInARun) {
  const std::wstring class_name = test::UniqueWideName(L"PaintTest");
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &NeverValidatedWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = class_name.c_str();
  ASSERT_TRUE(RegisterClassExW(&wc));
  HWND window = CreateWindowExW(0, class_name.c_str(), L"paint", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 100, 100, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(window);
  int paints = 0;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&paints));
  InvalidateRect(window, nullptr, FALSE);

  pump_->PumpOutPendingPaintMessages();
  EXPECT_EQ(0, paints);

  int pumped_out = 0;
  delegate_.PostTask(base::Bind(&PumpOutPaintAndQuit, pump_.get(), &paints, &pumped_out));
  pump_->Run(&delegate_);
  EXPECT_FALSE(delegate_.timed_out());
  EXPECT_EQ(20, pumped_out);

  DestroyWindow(window);
  UnregisterClassW(class_name.c_str(), wc.hInstance);
}

TEST_F(MessagePumpForUITest, WakeUpAndTimerMessagesNamingAnotherPumpAreIgnored) {
  HWND window = FindOwnPumpWindow();
  ASSERT_TRUE(window);
  // Addresses that are no pump; following them would crash.
  SendMessageW(window, kHaveWorkMessage, 0x1234, 0);
  SendMessageW(window, WM_TIMER, 0x5678, 0);
  SendMessageW(window, kHaveWorkMessage, 0, 0);

  delegate_.PostTask(delegate_.QuitWhenIdleTask());
  pump_->Run(&delegate_);
  EXPECT_FALSE(delegate_.timed_out());
}

TEST(MessagePumpForUIWindowTest, DestroyedPumpTakesItsWindowAndClassAlong) {
  {
    scoped_refptr<MessagePumpForUI> first(new MessagePumpForUI);
    scoped_refptr<MessagePumpForUI> second(new MessagePumpForUI);
    EXPECT_TRUE(FindOwnPumpWindow());
  }
  EXPECT_FALSE(FindOwnPumpWindow());
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), kPumpWindowClass, &wc));
}

//------------------------------------------------------------------------------
// Through a UI loop.

void PostThreadTestMessage() {
  PostThreadMessageW(GetCurrentThreadId(), kTestMessage, 0, 0);
}

void RecordWhetherTestMessageIsQueued(bool* queued) {
  *queued = ThreadQueueHolds(kTestMessage);
}

// Wakes the loop, queues a thread message behind the wake-up and answers whether the message
// was still queued when the task ran.
bool TestMessageQueuedWhenTaskRan(bool os_modal_loop) {
  DrainThreadQueue();
  bool queued = false;
  {
    MessageLoopForUI loop;
    loop.set_os_modal_loop(os_modal_loop);
    loop.PostTask(FROM_HERE, base::Bind(&RecordWhetherTestMessageIsQueued, &queued));
    PostThreadTestMessage();
    loop.RunAllPending();
  }
  DrainThreadQueue();
  return queued;
}

TEST(MessageLoopForUITest, WakeUpIsReplacedByTheNextMessage) {
  EXPECT_FALSE(TestMessageQueuedWhenTaskRan(false));
}

TEST(MessageLoopForUITest, InsideAnOsModalLoopTheWakeUpTakesOnlyPaintOrTimerMessages) {
  EXPECT_TRUE(TestMessageQueuedWhenTaskRan(true));
}

struct ModalLoopRun {
  std::wstring title;
  std::vector<int> ran;  // which tasks ran while the box was open
  bool box_open = false;
  int result = 0;
  MessageBoxWatchdog* watchdog = nullptr;
};

void ShowBoxFromTask(ModalLoopRun* run) {
  MessageLoop* loop = MessageLoop::current();
  loop->SetNestableTasksAllowed(true);
  loop->set_os_modal_loop(true);
  run->box_open = true;
  run->result = MessageBoxW(nullptr, L"loop test", run->title.c_str(), MB_OK);
  run->box_open = false;
  loop->set_os_modal_loop(false);
  run->watchdog->BoxClosed();
}

void RecordTask(ModalLoopRun* run, int id) {
  if (run->box_open)
    run->ran.push_back(id);
}

// Ends the run once the box is gone.
void CloseBoxFromTask(ModalLoopRun* run) {
  RecordTask(run, 4);
  PostMessageW(FindMessageBox(run->title), WM_CLOSE, 0, 0);
  MessageLoop::current()->Quit();
}

TEST(MessageLoopForUITest, TasksKeepRunningInsideAForeignModalLoop) {
  ModalLoopRun run;
  run.title = test::UniqueWideName(L"loop box ");
  MessageBoxWatchdog watchdog(run.title);
  run.watchdog = &watchdog;
  DrainThreadQueue();
  {
    MessageLoopForUI loop;
    loop.PostTask(FROM_HERE, base::Bind(&ShowBoxFromTask, &run));
    loop.PostTask(FROM_HERE, base::Bind(&RecordTask, &run, 1));
    loop.PostTask(FROM_HERE, base::Bind(&RecordTask, &run, 2));
    scoped_refptr<base::MessageLoopProxy> proxy = loop.message_loop_proxy();
    test::BackgroundThread poster([proxy, &run] {
      EXPECT_TRUE(test::WaitUntil([&run] { return FindMessageBox(run.title) != nullptr; },
                                  test::kDeadlineMs));
      proxy->PostTask(FROM_HERE, base::Bind(&RecordTask, &run, 3));
      proxy->PostTask(FROM_HERE, base::Bind(&CloseBoxFromTask, &run));
    });
    loop.Run();
  }
  DrainThreadQueue();

  EXPECT_FALSE(watchdog.fired());
  EXPECT_NE(0, run.result);
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), run.ran);
}

}  // namespace
