#include "platform/win32/message_boxes.h"

#include "platform/win32/wide.h"

namespace platform::win32 {

void showMessage(HWND owner, const std::wstring& title, const std::string& text) {
  MessageBoxW(owner, toWide(text).c_str(), title.c_str(), MB_OK);
}

bool askYesNo(HWND owner, const std::wstring& title, const std::string& text) {
  return MessageBoxW(owner, toWide(text).c_str(), title.c_str(), MB_YESNO) == IDYES;
}

}  // namespace platform::win32
