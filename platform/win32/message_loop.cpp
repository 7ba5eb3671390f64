#include "platform/win32/message_loop.h"

namespace platform::win32 {

void dispatchMessage(HWND window, MSG& message) {
  if (window && IsDialogMessageW(window, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void dispatchPending(HWND window) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    dispatchMessage(window, message);
  }
}

}  // namespace platform::win32
