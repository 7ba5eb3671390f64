// The least a Win32 program does to list a folder's subfolders by creation time:
// the floor the program's listing is measured against. A click on its button walks
// the folder named on its command line and, per subfolder, does what the program
// does (keep the name, format the time, add a list line, let waiting messages
// through), with the list's redraw held back the same way.

// windows.h first: the headers after it build on its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <string>
#include <vector>

#include "floor_frame.h"

namespace {

constexpr wchar_t kWindowClass[] = L"BenchFloorList";

struct FindOwner {
  HANDLE handle;
  ~FindOwner() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};

struct FontOwner {
  HFONT font = nullptr;
  ~FontOwner() {
    if (font) DeleteObject(font);
  }
};

HWND mainWindow = nullptr;
HWND listBox = nullptr;
std::wstring folder;
std::vector<std::wstring> names;
FontOwner listFont;

void yieldToMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (IsDialogMessageW(mainWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

std::wstring creationText(const FILETIME& created) {
  SYSTEMTIME universal;
  SYSTEMTIME local;
  wchar_t date[96];
  wchar_t time[96];
  if (!FileTimeToSystemTime(&created, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) ||
      GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 96) <= 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 96) <= 0) {
    return {};
  }
  return std::wstring(date) + L" " + time;
}

void repaintList() {
  SendMessageW(listBox, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(listBox, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

void listFolder() {
  SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
  names.clear();
  WIN32_FIND_DATAW data;
  const FindOwner find{FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH)};
  SendMessageW(listBox, WM_SETREDRAW, FALSE, 0);
  ULONGLONG lastRepaint = GetTickCount64();
  for (bool more = find.handle != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find.handle, &data)) {
    const std::wstring name = data.cFileName;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..") continue;
    names.push_back(name);
    SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(creationText(data.ftCreationTime).c_str()));
    if (GetTickCount64() - lastRepaint >= bench::kListRepaintMilliseconds) {
      repaintList();
      SendMessageW(listBox, WM_SETREDRAW, FALSE, 0);
      lastRepaint = GetTickCount64();
    }
    yieldToMessages();
  }
  repaintList();
}

HWND createChild(HWND parent, const wchar_t* className, DWORD style, DWORD exStyle, const RECT& place, int id) {
  return CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, place.left, place.top,
                         place.right - place.left, place.bottom - place.top, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void createControls(HWND window) {
  createChild(window, L"BUTTON", BS_PUSHBUTTON, 0, RECT{48, 144, 137, 193}, bench::kFloorReadButtonId);
  listBox = createChild(window, L"LISTBOX", WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE,
                        bench::kListBoxRect, bench::kFloorListBoxId);
  // The program draws its lines in the message font; the same font costs the same to draw.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    listFont.font = CreateFontIndirectW(&metrics.lfMessageFont);
    SendMessageW(listBox, WM_SETFONT, reinterpret_cast<WPARAM>(listFont.font), FALSE);
  }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      createControls(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == bench::kFloorReadButtonId && HIWORD(wParam) == BN_CLICKED) listFolder();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

std::wstring firstArgument() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring first = arguments && count > 1 ? arguments[1] : L"";
  LocalFree(arguments);
  while (!first.empty() && first.back() == L'\\') first.pop_back();
  return first;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  folder = firstArgument();
  if (folder.empty()) return 2;
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (!bench::registerFloorClass(instance, kWindowClass, windowProc)) return 1;
  mainWindow = bench::createFloorWindow(instance, kWindowClass, L"floor list",
                                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                                        WS_EX_CONTROLPARENT);
  if (!mainWindow) return 1;
  ShowWindow(mainWindow, showCommand);
  UpdateWindow(mainWindow);
  return bench::runMessageLoop(mainWindow);
}
