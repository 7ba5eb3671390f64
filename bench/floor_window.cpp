// The least a Win32 program does to put a window on the screen: the floor the
// program's start-up is measured against.
#include <windows.h>

#include "floor_frame.h"

namespace {

constexpr wchar_t kWindowClass[] = L"BenchFloorWindow";

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  if (!bench::registerFloorClass(instance, kWindowClass, bench::quitOnDestroy)) return 1;
  HWND window = bench::createFloorWindow(instance, kWindowClass, L"floor",
                                         WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0);
  if (!window) return 1;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return bench::runMessageLoop();
}
