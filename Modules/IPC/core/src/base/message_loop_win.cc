// The window-message and IO loop types: their access to the pump of their loop.
#include "base/message_loop_win.h"

#include "base/logging.h"

// static
MessageLoopForUI* MessageLoopForUI::current() {
  MessageLoop* loop = MessageLoop::current();
  DCHECK(loop && loop->type() == TYPE_UI);
  return static_cast<MessageLoopForUI*>(loop);
}

void MessageLoopForUI::DidProcessMessage(const MSG& message) {
  pump_win()->DidProcessMessage(message);
}

void MessageLoopForUI::AddObserver(base::MessagePumpObserver* observer) {
  pump_win()->AddObserver(observer);
}

void MessageLoopForUI::RemoveObserver(base::MessagePumpObserver* observer) {
  pump_win()->RemoveObserver(observer);
}

void MessageLoopForUI::RunWithDispatcher(base::MessagePumpDispatcher* dispatcher) {
  AutoRunState save_state(this);
  save_state.dispatcher = dispatcher;
  RunHandler();
}

void MessageLoopForUI::RunAllPendingWithDispatcher(base::MessagePumpDispatcher* dispatcher) {
  AutoRunState save_state(this);
  save_state.dispatcher = dispatcher;
  save_state.quit_received = true;  // quit at the first idle turn
  RunHandler();
}

// static
MessageLoopForIO* MessageLoopForIO::current() {
  MessageLoop* loop = MessageLoop::current();
  DCHECK(loop && loop->type() == TYPE_IO);
  return static_cast<MessageLoopForIO*>(loop);
}

void MessageLoopForIO::AddIOObserver(IOObserver* io_observer) {
  pump_io()->AddIOObserver(io_observer);
}

void MessageLoopForIO::RemoveIOObserver(IOObserver* io_observer) {
  pump_io()->RemoveIOObserver(io_observer);
}

bool MessageLoopForIO::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  return pump_io()->RegisterIOHandler(file, handler);
}

bool MessageLoopForIO::WaitForIOCompletion(DWORD timeout, IOHandler* filter) {
  return pump_io()->WaitForIOCompletion(timeout, filter);
}

base::MessagePumpForIO* MessageLoopForIO::pump_io() const {
  DCHECK_EQ(TYPE_IO, type());
  return static_cast<base::MessagePumpForIO*>(pump_win());
}
