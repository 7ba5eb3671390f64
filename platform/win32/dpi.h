// Per-monitor DPI on every Windows from 7 on: the functions that newer systems
// have are looked up at run time, with the system DPI as the fallback.
#pragma once

#include <windows.h>

namespace platform::win32 {

inline constexpr UINT kDefaultDpi = 96;

// Asks for per-monitor (v2) awareness where the manifest could not give it.
void becomeDpiAware();

UINT dpiOfWindow(HWND window);

// The outer size of a window whose client area is clientWidth × clientHeight.
SIZE windowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

// The font that message boxes use, at the given DPI.
LOGFONTW messageFont(UINT dpi);

}  // namespace platform::win32
