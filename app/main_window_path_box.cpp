// The path box's conveniences: Enter reads, the stored text is selected when the
// box is entered, a folder dropped from Explorer is read, and folder names complete.
#include <windows.h>

#include "app/main_window.h"
#include "app/resource.h"
#include "platform/win32/shell.h"
#include "platform/win32/wide.h"

namespace app {

void MainWindow::preparePathBox() {
  com_.enter();
  platform::win32::completeFolderNames(control(Control::Text1));
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
  if (const auto first = platform::win32::firstDroppedItem(drop)) form_.onDrop(platform::win32::toUtf8(*first));
}

}  // namespace app
