// Dialogs of other processes.
#include "support/process_dialog.h"

#include <windows.h>

#include "support/deadline.h"

namespace test {
namespace {

const wchar_t kDialogClass[] = L"#32770";
const wchar_t kStaticClass[] = L"Static";

struct DialogSearch {
  DWORD processId;
  HWND found;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) &&
      ClassOf(window) == kDialogClass) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND window, LPARAM param) {
  if (CompareStringOrdinal(ClassOf(window).c_str(), -1, kStaticClass, -1, TRUE) == CSTR_EQUAL)
    reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(TextOf(window));
  return TRUE;
}

}  // namespace

bool ProcessDialog::WaitFor(unsigned long processId, unsigned long timeoutMs) {
  DialogSearch search = {processId, nullptr};
  const bool found = WaitUntil([&search] {
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  }, timeoutMs);
  window_ = search.found;
  return found;
}

std::wstring ProcessDialog::Caption() const {
  return TextOf(window_);
}

std::vector<std::wstring> ProcessDialog::StaticTexts() const {
  std::vector<std::wstring> texts;
  EnumChildWindows(window_, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

void ProcessDialog::PressOk() const {
  PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window_, IDOK)));
}

}  // namespace test
