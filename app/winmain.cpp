// Start-up: the platform, the main window, and the message loop.
#include <windows.h>

#include <commctrl.h>

#include "app/form_layout.h"
#include "app/main_window.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/dpi.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  platform::win32::becomeDpiAware();
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  // Before the window, which holds the taskbar's COM object, and ended after it.
  const platform::win32::ComApartment com;
  platform::win32::Win32Platform platform(platform::win32::toWide(app::kWindowCaption));
  app::MainWindow window(instance, platform);
  if (!window.create(showCommand)) return 1;

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) platform.dispatch(message);
  return static_cast<int>(message.wParam);
}
