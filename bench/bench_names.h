// What the benchmark runner and its floor programs agree on.
#pragma once

#include <windows.h>

namespace bench {

// The floor lister's controls, which the runner clicks and counts as it does the program's.
inline constexpr int kFloorReadButtonId = 100;
inline constexpr int kFloorListBoxId = 101;

// The program's client area and list box at 96 dpi, so that a floor paints as
// much of the screen as the program does.
inline constexpr int kClientWidth = 545;
inline constexpr int kClientHeight = 591;
inline constexpr RECT kListBoxRect = {184, 152, 184 + 281, 152 + 256};

// The program repaints a list that is being filled this often; the floor does the same.
inline constexpr ULONGLONG kListRepaintMilliseconds = 50;

}  // namespace bench
