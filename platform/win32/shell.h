// What the window uses of COM and the shell. Their libraries are loaded at the first
// call, not with the exe: loading them costs a start-up more than the whole rest of
// what it does before the window shows, and the window's first paint needs none of them.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>

namespace platform::win32 {

// COM on the calling thread, as OleInitialize gives it; false where it is not to be had.
bool enterOle();
void leaveOle();

// CoCreateInstance of an in-process server.
HRESULT createInProcessObject(const CLSID& objectClass, const IID& interfaceId, void** object);

// The shell completes folder names typed into the edit control. Needs COM on this thread.
void completeFolderNames(HWND edit);

// The first item of a drop, which is finished with either way.
std::optional<std::wstring> firstDroppedItem(HDROP drop);

}  // namespace platform::win32
