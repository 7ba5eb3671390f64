// What the benchmark runner and its floor programs agree on.
#pragma once

#include <windows.h>

namespace bench {

inline constexpr wchar_t kFloorWindowClass[] = L"BenchFloorWindow";
inline constexpr wchar_t kFloorListClass[] = L"BenchFloorList";
inline constexpr int kFloorListBoxId = 100;

// Posted to the floor list's window: list the folder named on its command line.
inline constexpr UINT kFloorStartListing = WM_APP + 1;

// The program's client area and list box at 96 dpi, so that a floor paints as
// much of the screen as the program does.
inline constexpr int kClientWidth = 545;
inline constexpr int kClientHeight = 591;
inline constexpr RECT kListBoxRect = {184, 152, 184 + 281, 152 + 256};

// The program repaints a list that is being filled this often; the floor does the same.
inline constexpr ULONGLONG kListRepaintMilliseconds = 50;

}  // namespace bench
