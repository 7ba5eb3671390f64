// The program's message boxes: no icon, the application's title, owned by the window when there is one.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

void showMessage(HWND owner, const std::wstring& title, const std::string& text);
// Yes and No buttons; true for Yes.
bool askYesNo(HWND owner, const std::wstring& title, const std::string& text);

}  // namespace platform::win32
