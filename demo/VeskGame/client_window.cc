// The demo client's hidden main window and the message pump of the client's main thread.
#include "VeskGame/client_window.h"

#include <windows.h>

namespace {

const wchar_t kWindowClass[] = L"VeskGameDemoClient";
const wchar_t kWindowTitle[] = L"VeskGame demo client";

HWND CreateClientWindow() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  return CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                         window_class.hInstance, nullptr);
}

}  // namespace

ClientWindow::ClientWindow() : window_(CreateClientWindow()) {}

ClientWindow::~ClientWindow() {
  if (window_)
    DestroyWindow(window_);
}

void ClientWindow::BringToFront() const {
  if (window_)
    SetForegroundWindow(window_);
}

void ClientWindow::PumpUntil(const base::win::ScopedHandle& event,
                             unsigned long timeout_ms) const {
  HANDLE handle = event.Get();
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE,
                                                   static_cast<DWORD>(end - now), QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 + 1)
      return;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}
