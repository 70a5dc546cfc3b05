// The loop types whose pumps wait for Windows events: MessageLoopForUI over the thread's
// window messages, MessageLoopForIO over an IO completion port. Kept apart from
// message_loop.h, which carries no Windows header.
#ifndef BASE_MESSAGE_LOOP_WIN_H_
#define BASE_MESSAGE_LOOP_WIN_H_

#include "base/message_loop.h"
#include "base/message_pump_win.h"

// A TYPE_UI loop, or the view of one: adds access to the window-message pump.
class MessageLoopForUI : public MessageLoop {
 public:
  MessageLoopForUI() : MessageLoop(TYPE_UI) {}

  // The calling thread's loop, which must be of TYPE_UI.
  static MessageLoopForUI* current();

  void DidProcessMessage(const MSG& message);
  void AddObserver(base::MessagePumpObserver* observer);
  void RemoveObserver(base::MessagePumpObserver* observer);

  // Run and RunAllPending with messages handed to |dispatcher| instead of being dispatched.
  void RunWithDispatcher(base::MessagePumpDispatcher* dispatcher);
  void RunAllPendingWithDispatcher(base::MessagePumpDispatcher* dispatcher);
};

// A TYPE_IO loop, or the view of one: adds access to the IO completion port.
class MessageLoopForIO : public MessageLoop {
 public:
  typedef base::MessagePumpForIO::IOHandler IOHandler;
  typedef base::MessagePumpForIO::IOContext IOContext;
  typedef base::MessagePumpForIO::IOObserver IOObserver;

  MessageLoopForIO() : MessageLoop(TYPE_IO) {}

  // The calling thread's loop, which must be of TYPE_IO.
  static MessageLoopForIO* current();

  void AddIOObserver(IOObserver* io_observer);
  void RemoveIOObserver(IOObserver* io_observer);

  // See base::MessagePumpForIO.
  bool RegisterIOHandler(HANDLE file, IOHandler* handler);
  bool WaitForIOCompletion(DWORD timeout, IOHandler* filter);

 private:
  base::MessagePumpForIO* pump_io() const;
};

#endif  // BASE_MESSAGE_LOOP_WIN_H_
