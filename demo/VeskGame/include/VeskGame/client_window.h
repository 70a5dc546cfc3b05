// The demo client's main window, the stand-in for a game client's own: never shown, it is
// what the client brings to the front when a request arrives.
#ifndef VESKGAME_CLIENT_WINDOW_H_
#define VESKGAME_CLIENT_WINDOW_H_

#include "base/win/scoped_handle.h"

struct HWND__;

// Made, pumped and destroyed on one thread; BringToFront may be called from any thread.
class ClientWindow {
 public:
  // Without a display there is no window, and BringToFront does nothing.
  ClientWindow();
  ~ClientWindow();
  ClientWindow(const ClientWindow&) = delete;
  ClientWindow& operator=(const ClientWindow&) = delete;

  // SetForegroundWindow for the window: a client does this on receiving a request, which
  // the launcher that sent it allows.
  void BringToFront() const;

  // Dispatches the thread's window messages until |event| is signalled or |timeout_ms|
  // have passed.
  void PumpUntil(const base::win::ScopedHandle& event, unsigned long timeout_ms) const;

 private:
  HWND__* window_;
};

#endif  // VESKGAME_CLIENT_WINDOW_H_
