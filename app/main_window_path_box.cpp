// The path box's conveniences: Enter reads, the stored text is selected when the
// box is entered, a folder dropped from Explorer is read, and folder names complete.
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <string>

#include "app/main_window.h"
#include "app/resource.h"
#include "platform/win32/wide.h"

namespace app {

void MainWindow::preparePathBox() {
  DragAcceptFiles(window_, TRUE);
  // Without COM on this thread it fails, and the box simply does not complete.
  SHAutoComplete(control(Control::Text1), SHACF_FILESYS_DIRS);
}

bool MainWindow::onPathBoxCommand(int id, int notification) {
  // The dialog manager turns Enter on a control that is no button into IDOK.
  if (id == IDOK && notification == BN_CLICKED) {
    const HWND focus = GetFocus();
    for (const ControlLayout& entry : kFormLayout) {
      if (control(entry.control) == focus) form_.onEnterKey(entry.control);
    }
    return true;
  }
  if (id == IDC_TEXT1 && notification == EN_SETFOCUS && form_.pathBoxSelectsAllOnFocus()) {
    // Posted: a click places the caret after the focus has come, and would undo a selection made now.
    PostMessageW(control(Control::Text1), EM_SETSEL, 0, -1);
    return true;
  }
  return false;
}

void MainWindow::onDropFiles(HDROP drop) {
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring first(length + 1, L'\0');
  const UINT copied = DragQueryFileW(drop, 0, first.data(), length + 1);
  DragFinish(drop);
  if (copied == 0) return;
  form_.onDrop(platform::win32::toUtf8(first.data(), static_cast<int>(copied)));
}

}  // namespace app
