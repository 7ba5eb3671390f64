// Handing the window's messages on, with the dialog manager first so that Tab moves the focus.
#pragma once

#include <windows.h>

namespace platform::win32 {

void dispatchMessage(HWND window, MSG& message);
// Handles the messages already waiting, and returns; a quit stays posted for the main loop.
void dispatchPending(HWND window);

}  // namespace platform::win32
