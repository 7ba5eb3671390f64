// The least a Win32 program does to list a folder's subfolders by creation time:
// the floor the program's listing is measured against. Per subfolder it does what
// the program does (keep the name, format the time, add a list line, let waiting
// messages through) in one plain loop, with the list's redraw held back the same way.

// windows.h first: the headers after it build on its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <string>
#include <vector>

#include "bench/bench_names.h"
#include "platform/win32/handles.h"

namespace {

using platform::win32::FindHandle;
using platform::win32::FontHandle;

struct Floor {
  HWND window = nullptr;
  HWND list = nullptr;
  std::wstring folder;
  std::vector<std::wstring> names;
  FontHandle font;
  bool listing = false;
};

Floor floorProgram;

void yieldToMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (IsDialogMessageW(floorProgram.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

std::wstring creationText(const FILETIME& created) {
  SYSTEMTIME universal;
  SYSTEMTIME local;
  if (!FileTimeToSystemTime(&created, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return {};
  }
  wchar_t date[96];
  wchar_t time[96];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 96) <= 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 96) <= 0) {
    return {};
  }
  return std::wstring(date) + L" " + time;
}

void repaintList() {
  SendMessageW(floorProgram.list, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(floorProgram.list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

bool isDotEntry(const wchar_t* name) { return lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0; }

void listFolder() {
  // A second request that arrives while this one yields would refill the list under it.
  if (floorProgram.listing) return;
  floorProgram.listing = true;
  SendMessageW(floorProgram.list, LB_RESETCONTENT, 0, 0);
  floorProgram.names.clear();

  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileExW((floorProgram.folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  SendMessageW(floorProgram.list, WM_SETREDRAW, FALSE, 0);
  ULONGLONG lastRepaint = GetTickCount64();
  if (find) {
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || isDotEntry(data.cFileName)) continue;
      floorProgram.names.emplace_back(data.cFileName);
      SendMessageW(floorProgram.list, LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(creationText(data.ftCreationTime).c_str()));
      if (GetTickCount64() - lastRepaint >= bench::kListRepaintMilliseconds) {
        repaintList();
        SendMessageW(floorProgram.list, WM_SETREDRAW, FALSE, 0);
        lastRepaint = GetTickCount64();
      }
      yieldToMessages();
    } while (FindNextFileW(find.get(), &data));
  }
  repaintList();
  floorProgram.listing = false;
}

void createList(HWND window, HINSTANCE instance) {
  const RECT& place = bench::kListBoxRect;
  floorProgram.list =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, place.left,
                      place.top, place.right - place.left, place.bottom - place.top, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(bench::kFloorListBoxId)), instance, nullptr);
  // The program draws its lines in the message font; the same font costs the same to draw.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    floorProgram.font.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    SendMessageW(floorProgram.list, WM_SETFONT, reinterpret_cast<WPARAM>(floorProgram.font.get()), FALSE);
  }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      createList(window, reinterpret_cast<CREATESTRUCTW*>(lParam)->hInstance);
      return 0;
    case bench::kFloorStartListing:
      listFolder();
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
  return first;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  floorProgram.folder = firstArgument();
  while (!floorProgram.folder.empty() && floorProgram.folder.back() == L'\\') floorProgram.folder.pop_back();
  if (floorProgram.folder.empty()) return 2;
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = bench::kFloorListClass;
  if (!RegisterClassExW(&windowClass)) return 1;

  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT frame{0, 0, bench::kClientWidth, bench::kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
  floorProgram.window =
      CreateWindowExW(WS_EX_CONTROLPARENT, bench::kFloorListClass, L"floor list", style, CW_USEDEFAULT, CW_USEDEFAULT,
                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (!floorProgram.window) return 1;
  ShowWindow(floorProgram.window, showCommand);
  UpdateWindow(floorProgram.window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(floorProgram.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
