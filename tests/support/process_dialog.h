// Finding the dialog window (a message box, say) that another process shows, reading it
// and pressing its OK button.
#ifndef SUPPORT_PROCESS_DIALOG_H_
#define SUPPORT_PROCESS_DIALOG_H_

#include <string>
#include <vector>

struct HWND__;

namespace test {

class ProcessDialog {
 public:
  // Waits up to |timeoutMs| for a visible top-level window of class "#32770" that belongs
  // to process |processId|.
  bool WaitFor(unsigned long processId, unsigned long timeoutMs);

  std::wstring Caption() const;
  // The texts of the dialog's static controls, in child order.
  std::vector<std::wstring> StaticTexts() const;
  // Presses the OK button, as a click would.
  void PressOk() const;

 private:
  HWND__* window_ = nullptr;
};

}  // namespace test

#endif  // SUPPORT_PROCESS_DIALOG_H_
