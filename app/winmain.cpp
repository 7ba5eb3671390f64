// Start-up: the platform, the main window, and the message loop.
#include <windows.h>

#include <commctrl.h>

#include "app/form_layout.h"
#include "app/main_window.h"
#include "app/start_folder.h"
#include "platform/win32/dpi.h"
#include "platform/win32/message_loop.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  platform::win32::becomeDpiAware();
  platform::win32::Win32Platform platform(platform::win32::toWide(app::kWindowCaption));
  if (!app::MayRunHere(platform)) return 0;

  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  app::MainWindow window(instance, platform);
  if (!window.create(showCommand)) return 1;

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) platform::win32::dispatchMessage(window.handle(), message);
  return static_cast<int>(message.wParam);
}
