// What every floor program does alike: its window class, a top-level window with the
// program's client size, and the message loop. Nothing here costs more than the
// calls the program itself makes for the same.
#pragma once

#include <windows.h>

#include "bench_names.h"

namespace bench {

inline bool registerFloorClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  return RegisterClassExW(&windowClass) != 0;
}

inline HWND createFloorWindow(HINSTANCE instance, const wchar_t* windowClass, const wchar_t* title, DWORD style,
                              DWORD exStyle) {
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  return CreateWindowExW(exStyle, windowClass, title, style, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                         frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
}

// The procedure of a window that only has to end the program when it goes.
inline LRESULT CALLBACK quitOnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Runs until the program quits; a dialogWindow gets Tab and Enter handled as the program's window does.
inline int runMessageLoop(HWND dialogWindow = nullptr) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (dialogWindow && IsDialogMessageW(dialogWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace bench
