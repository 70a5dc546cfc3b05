// The Windows pumps: the shared base with its run-state stack, the IO pump over a completion
// port and the window-message pump over a hidden message-only window.
#ifndef BASE_MESSAGE_PUMP_WIN_H_
#define BASE_MESSAGE_PUMP_WIN_H_

// IOContext carries an OVERLAPPED by value, which no forward declaration can stand for.
#include <windows.h>

#include <list>

#include "base/message_pump.h"
#include "base/observer_list.h"
#include "base/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// Told about every window message the window-message pump dispatches.
class MessagePumpObserver {
 public:
  virtual void WillProcessMessage(const MSG& msg) = 0;
  virtual void DidProcessMessage(const MSG& msg) = 0;

 protected:
  virtual ~MessagePumpObserver() {}
};

// Replaces TranslateMessage and DispatchMessage for a run of the window-message pump.
class MessagePumpDispatcher {
 public:
  virtual ~MessagePumpDispatcher() {}

  // False asks the run to quit after this message.
  virtual bool Dispatch(const MSG& msg) = 0;
};

// The base of the Windows pumps. Runs nest through a stack of run states, each living on the
// stack of its RunWithDispatcher. ScheduleWork may be called from any thread; everything else
// runs on the loop's thread.
class MessagePumpWin : public MessagePump {
 public:
  MessagePumpWin();

  void AddObserver(MessagePumpObserver* observer);
  void RemoveObserver(MessagePumpObserver* observer);

  void WillProcessMessage(const MSG& msg);
  void DidProcessMessage(const MSG& msg);

  // Runs like Run; the window-message pump hands messages to |dispatcher| when it is not null.
  void RunWithDispatcher(Delegate* delegate, MessagePumpDispatcher* dispatcher);

  void Run(Delegate* delegate) override;
  void Quit() override;

 protected:
  struct RunState {
    Delegate* delegate;
    MessagePumpDispatcher* dispatcher;
    bool should_quit;
    int run_depth;  // 1 for the outermost run
  };

  ~MessagePumpWin() override;

  // One run of the pump's turns, until the innermost run state's should_quit is set.
  virtual void DoRunLoop() = 0;

  // Milliseconds until the delayed work is due, rounded up so that it is never woken early;
  // 0 when due already, -1 when there is none.
  int GetCurrentDelay() const;

  ObserverVector<MessagePumpObserver> observers_;
  TimeTicks delayed_work_time_;  // null when no delayed work is due

  // 1 while a wake-up is outstanding; changed only by interlocked exchange, since posting
  // threads and the pump's thread race on it.
  volatile LONG have_work_;

  RunState* state_;  // the innermost run, null when not running
};

// The pump of an IO loop: sleeps on an IO completion port, which carries both the loop's
// wake-ups and the completions of the overlapped IO registered with it. Everything except
// ScheduleWork runs on the loop's thread.
class MessagePumpForIO : public MessagePumpWin {
 public:
  struct IOContext;

  // Told when IO started on its registered file completes.
  class IOHandler {
   public:
    virtual ~IOHandler() {}

    // |error| is the OS error of the IO, 0 on success.
    virtual void OnIOCompleted(IOContext* context, DWORD bytes_transfered, DWORD error) = 0;
  };

  // Told around every IO completion delivered to a handler.
  class IOObserver {
   public:
    IOObserver() {}
    virtual void WillProcessIOEvent() = 0;
    virtual void DidProcessIOEvent() = 0;

   protected:
    virtual ~IOObserver() {}
  };

  // The record of one overlapped operation. It belongs to whoever started the IO; an owner
  // that goes away before the IO completes sets |handler| to null, and the pump then frees
  // the context (which must therefore come from new) when the completion arrives.
  struct IOContext {
    IOContext() : overlapped(), handler(nullptr) {}
    OVERLAPPED overlapped;
    IOHandler* handler;
  };

  MessagePumpForIO();

  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  // Makes every completion of IO started on |file_handle| arrive with |handler| as its key.
  // False when the OS refuses, for example for a file opened without overlapped IO.
  bool RegisterIOHandler(HANDLE file_handle, IOHandler* handler);

  // Delivers at most one completion, waiting up to |timeout| ms (INFINITE for no limit).
  // With a |filter|, completions for other handlers are set aside for later unfiltered turns;
  // this is how a handler waits synchronously for its own IO. False when nothing arrived.
  bool WaitForIOCompletion(DWORD timeout, IOHandler* filter);

  void AddIOObserver(IOObserver* observer);
  void RemoveIOObserver(IOObserver* observer);

 protected:
  ~MessagePumpForIO() override;

 private:
  // One completion as read from the port.
  struct IOItem {
    IOHandler* handler;  // the completion key
    IOContext* context;  // the overlapped pointer
    DWORD bytes_transfered;
    DWORD error;
  };

  void DoRunLoop() override;
  void WaitForWork();
  bool MatchCompletedIOItem(IOHandler* filter, IOItem* item);
  bool GetIOItem(DWORD timeout, IOItem* item);
  bool IsWakeUpItem(const IOItem& item) const;
  void WillProcessIOEvent();
  void DidProcessIOEvent();

  win::ScopedHandle port_;
  std::list<IOItem> completed_io_;  // set aside by filtered waits, in arrival order
  ObserverVector<IOObserver> io_observers_;
};

// The pump of a UI loop: runs tasks between the thread's window messages, wakes itself with a
// message posted to a hidden message-only window, and keeps delayed work alive with a window
// timer even while a modal OS loop owns the thread. ScheduleWork may be called from any
// thread; everything else runs on the thread that created the pump, which owns the window.
class MessagePumpForUI : public MessagePumpWin {
 public:
  // Passed to CallMsgFilterW, so message hooks can tell this pump's messages apart.
  static constexpr int kMessageFilterCode = 0x5001;

  MessagePumpForUI();

  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  // Handles the paint messages waiting in the queue, at most a fixed number of them.
  void PumpOutPendingPaintMessages();

 protected:
  ~MessagePumpForUI() override;

 private:
  static LRESULT CALLBACK WndProcThunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  void DoRunLoop() override;
  void InitMessageWnd();
  void WaitForWork();
  void HandleWorkMessage();
  void HandleTimerMessage();
  bool ProcessNextWindowsMessage();
  bool ProcessMessageHelper(const MSG& msg);
  bool ProcessPumpReplacementMessage();
  UINT_PTR TimerId() const;

  HINSTANCE instance_;  // the module that holds the window procedure
  HWND message_hwnd_;
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_WIN_H_
