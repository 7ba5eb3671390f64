#include "app/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "convert/messages.h"
#include "platform/win32/dpi.h"
#include "platform/win32/shell.h"
#include "platform/win32/wide.h"

namespace app {
namespace {

using platform::win32::toUtf8;
using platform::win32::toWide;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// Accepting dropped files is this style, which DragAcceptFiles would set after loading the shell.
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES;

// Posted once the window has painted; numbered clear of the platform's own messages from WM_APP + 1 on.
constexpr UINT kShownMessage = WM_APP + 64;

// A long fill still shows its progress this often while the list's own repainting
// is held back; repainting after every entry costs more than the walk.
constexpr ULONGLONG kListRepaintMilliseconds = 50;

// The caption's percentage needs no more; each reading asks the file system.
constexpr UINT kProgressMilliseconds = 250;
constexpr UINT_PTR kProgressTimer = 1;

// The shell's taskbar object; defined here because MinGW's uuid library would
// bring every GUID it knows into the exe.
constexpr CLSID kTaskbarListClass = {0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};

// The longest text a path box takes: the longest path Windows knows.
constexpr WPARAM kPathBoxLimit = 32767;

struct WindowClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

WindowClass windowClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::TextBox:
      return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::Button:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE, 0};
    case ControlKind::ListBox:
      return {L"LISTBOX",
              WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL | LBS_WANTKEYBOARDINPUT,
              WS_EX_CLIENTEDGE};
    case ControlKind::Picture:
      return {L"STATIC", SS_BITMAP | SS_CENTERIMAGE, 0};
  }
  return {L"STATIC", 0, 0};
}

// Controls are made in tab order, since creation order is the order Tab follows.
std::vector<ControlLayout> inTabOrder() {
  std::vector<ControlLayout> ordered(kFormLayout.begin(), kFormLayout.end());
  std::stable_sort(ordered.begin(), ordered.end(), [](const ControlLayout& a, const ControlLayout& b) {
    const auto rank = [](const ControlLayout& entry) { return entry.tabIndex == kNoTabStop ? 1000 : entry.tabIndex; };
    return rank(a) < rank(b);
  });
  return ordered;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, platform::win32::Win32Platform& platform)
    : instance_(instance), platform_(platform), form_(*this, platform, remuxFiles_, *remuxEngine_) {}

bool MainWindow::create(int showCommand) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &MainWindow::windowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_APP_ICON));
  // Given, so that registering the class need not derive it from the large icon: half a millisecond of start-up.
  windowClass.hIconSm =
      static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = MAIN_WINDOW_CLASS;
  if (!RegisterClassExW(&windowClass)) return false;
  // The shell says when the button exists that a progress bar can be put on.
  taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");

  dpi_ = platform::win32::dpiOfWindow(nullptr);
  const SIZE size = windowSize();
  window_ = CreateWindowExW(kWindowExStyle, MAIN_WINDOW_CLASS, toWide(kStoredWindowCaption).c_str(), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance_, this);
  if (!window_) return false;
  platform_.attachWindow(window_, interpreterWatch_);
  createControls();
  // The monitor the window landed on may not be the one the size was made for.
  const UINT windowDpi = platform::win32::dpiOfWindow(window_);
  if (windowDpi != dpi_) {
    RECT placed;
    GetWindowRect(window_, &placed);
    dpi_ = windowDpi;
    const SIZE scaled = windowSize();
    SetWindowPos(window_, nullptr, placed.left, placed.top, scaled.cx, scaled.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  applyDpi();

  form_.onLoad();
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  // Behind the painted window, and ahead of any input, which the loop takes after posted messages.
  PostMessageW(window_, kShownMessage, 0, 0);
  return true;
}

void MainWindow::onShown() {
  preparePathBox();
  form_.onShown();
}

void MainWindow::createControls() {
  for (const ControlLayout& entry : inTabOrder()) {
    const WindowClass windowClass = windowClassOf(entry.kind);
    HWND child = CreateWindowExW(windowClass.exStyle, windowClass.name, toWide(entry.storedText).c_str(),
                                 WS_CHILD | WS_VISIBLE | windowClass.style, toPixels(entry.left), toPixels(entry.top),
                                 toPixels(entry.width), toPixels(entry.height), window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance_, nullptr);
    controls_[static_cast<std::size_t>(entry.control)] = child;
  }
  SendMessageW(control(Control::Text1), EM_SETLIMITTEXT, kPathBoxLimit, 0);
}

SIZE MainWindow::windowSize() const {
  return platform::win32::windowSizeForClient(toPixels(kClientWidthTwips), toPixels(kClientHeightTwips), kWindowStyle,
                                              kWindowExStyle, dpi_);
}

int MainWindow::toPixels(int twips) const { return MulDiv(twips, static_cast<int>(dpi_), kTwipsPerInch); }

// Places every control, and makes the fonts and the picture, for the current DPI.
void MainWindow::applyDpi() {
  LOGFONTW defaultFont = platform::win32::messageFont(dpi_);
  platform::win32::FontHandle newDefaultFont(CreateFontIndirectW(&defaultFont));

  LOGFONTW label3Font{};
  label3Font.lfHeight = -MulDiv(kLabel3FontCentipoints, static_cast<int>(dpi_), 72 * 100);
  label3Font.lfWeight = FW_NORMAL;
  label3Font.lfCharSet = GB2312_CHARSET;
  label3Font.lfQuality = DEFAULT_QUALITY;
  const std::wstring face = toWide(kLabel3FontFace);
  face.copy(label3Font.lfFaceName, LF_FACESIZE - 1);
  platform::win32::FontHandle newLabel3Font(CreateFontIndirectW(&label3Font));

  const ControlLayout& image = layoutOf(Control::Image1);
  platform::win32::BitmapHandle newPicture(static_cast<HBITMAP>(LoadImageW(
      instance_, MAKEINTRESOURCEW(IDB_QR_CODE), IMAGE_BITMAP, toPixels(image.width), toPixels(image.height), 0)));

  for (const ControlLayout& entry : kFormLayout) {
    HWND child = control(entry.control);
    MoveWindow(child, toPixels(entry.left), toPixels(entry.top), toPixels(entry.width), toPixels(entry.height), TRUE);
    HFONT font = entry.control == Control::Label3 ? newLabel3Font.get() : newDefaultFont.get();
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  SendMessageW(control(Control::Image1), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(newPicture.get()));

  // Only now that no control holds the old fonts and picture may they be deleted: a
  // control that paints with a deleted object draws garbage or nothing.
  defaultFont_ = std::move(newDefaultFont);
  label3Font_ = std::move(newLabel3Font);
  picture_ = std::move(newPicture);
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  // No exception may unwind through the system's code that called us.
  try {
    return self->handleMessage(message, wParam, lParam);
  } catch (const std::exception& failure) {
    MessageBoxW(window, toWide(failure.what()).c_str(), toWide(kWindowCaption).c_str(), MB_OK);
  } catch (...) {
    MessageBoxW(window, toWide(convert::kUnexpectedError).c_str(), toWide(kWindowCaption).c_str(), MB_OK);
  }
  return 0;
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (!onPathBoxCommand(LOWORD(wParam), HIWORD(wParam))) onCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DROPFILES:
      onDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_ACTIVATE:
      onActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_DPICHANGED:
      onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      form_.onClose();
      return 0;
    case WM_VKEYTOITEM:
      return reinterpret_cast<HWND>(lParam) == control(Control::List1) ? onListKey(LOWORD(wParam)) : -1;
    case platform::win32::kInterpreterEndedMessage:
      onInterpreterEnded(wParam == platform::win32::kInterpreterEndSeen);
      return 0;
    case kShownMessage:
      onShown();
      return 0;
    case platform::win32::kRemuxEndedMessage:
      onRemuxEnded();
      return 0;
    case WM_TIMER:
      if (wParam == kProgressTimer) form_.onProgressTimer();
      return 0;
    case WM_DESTROY:
      // The wait must be gone before the window it posts to; the interpreter runs on.
      interpreterWatch_.release();
      taskbar_.reset();
      PostQuitMessage(0);
      return 0;
    default:
      if (message == taskbarButtonCreated_ && message != 0) {
        onTaskbarButtonCreated();
        return 0;
      }
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

void MainWindow::onCommand(int id, int notification) {
  if (notification != BN_CLICKED) return;
  for (const ControlLayout& entry : kFormLayout) {
    if (entry.id == id && entry.kind == ControlKind::Button) form_.onClick(entry.control);
  }
}

// The focus goes back where it was when the window is activated again, and to
// the first control in tab order the first time.
void MainWindow::onActivate(bool active) {
  if (!active) {
    focusBeforeDeactivation_ = GetFocus();
    return;
  }
  HWND target = focusBeforeDeactivation_ && IsChild(window_, focusBeforeDeactivation_) ? focusBeforeDeactivation_
                                                                                       : control(Control::Command1);
  SetFocus(target);
}

// The form lets go of the watch, and with it of the lock, once it has judged the end.
void MainWindow::onInterpreterEnded(bool seen) { form_.onInterpreterEnded(seen); }

void MainWindow::onRemuxEnded() { form_.onRemuxEnded(remuxWorker_.finish()); }

void MainWindow::startRemux(std::shared_ptr<convert::RemuxJob> job) { remuxWorker_.start(std::move(job), window_); }

// The remux answers a cancel within one read or write of its buffers; the program must end within a second.
void MainWindow::awaitRemux() { remuxWorker_.awaitEnd(900); }

// The list box knows Shift and Ctrl with clicks and arrows, but not Ctrl+A, which users expect of any list.
LRESULT MainWindow::onListKey(UINT key) {
  if (key != 'A' || GetKeyState(VK_CONTROL) >= 0) return -1;
  SendMessageW(control(Control::List1), LB_SETSEL, TRUE, -1);
  return -2;
}

void MainWindow::onTaskbarButtonCreated() {
  com_.enter();
  ITaskbarList3* taskbar = nullptr;
  if (FAILED(platform::win32::createInProcessObject(kTaskbarListClass, IID_PPV_ARGS(&taskbar)))) return;
  taskbar_.reset(taskbar);
  if (FAILED(taskbar_->HrInit())) taskbar_.reset();
}

void MainWindow::onDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  applyDpi();
}

std::string MainWindow::controlText(Control which) {
  HWND child = control(which);
  const int length = GetWindowTextLengthW(child);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(child, text.data(), length + 1);
  return toUtf8(text.data(), copied);
}

void MainWindow::setControlText(Control which, const std::string& text) {
  SetWindowTextW(control(which), toWide(text).c_str());
}

void MainWindow::setWindowCaption(const std::string& text) { SetWindowTextW(window_, toWide(text).c_str()); }

void MainWindow::startProgressTimer() { SetTimer(window_, kProgressTimer, kProgressMilliseconds, nullptr); }

void MainWindow::stopProgressTimer() { KillTimer(window_, kProgressTimer); }

void MainWindow::showTaskbarProgress(std::optional<int> percent) {
  if (!taskbar_) return;
  if (!percent) {
    taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
    return;
  }
  taskbar_->SetProgressState(window_, TBPF_NORMAL);
  taskbar_->SetProgressValue(window_, static_cast<ULONGLONG>(*percent), 100);
}

void MainWindow::flashIfInBackground() {
  if (GetForegroundWindow() == window_) return;
  FLASHWINFO flash{sizeof flash, window_, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
  FlashWindowEx(&flash);
}

void MainWindow::clearList() { SendMessageW(control(Control::List1), LB_RESETCONTENT, 0, 0); }

bool MainWindow::addListEntry(const std::string& text) {
  const LRESULT added =
      SendMessageW(control(Control::List1), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(toWide(text).c_str()));
  if (added == LB_ERR || added == LB_ERRSPACE) return false;
  if (listFilling_ && GetTickCount64() - lastListRepaint_ >= kListRepaintMilliseconds) repaintList();
  return true;
}

std::vector<int> MainWindow::selectedListIndices() {
  const HWND list = control(Control::List1);
  const LRESULT count = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
  if (count <= 0) return {};
  std::vector<int> selected(static_cast<std::size_t>(count));
  const LRESULT got =
      SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(selected.data()));
  selected.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return selected;
}

void MainWindow::beginListFill() {
  listFilling_ = true;
  lastListRepaint_ = GetTickCount64();
  SendMessageW(control(Control::List1), WM_SETREDRAW, FALSE, 0);
}

void MainWindow::endListFill() {
  listFilling_ = false;
  SendMessageW(control(Control::List1), WM_SETREDRAW, TRUE, 0);
  RedrawWindow(control(Control::List1), nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

void MainWindow::repaintList() {
  HWND list = control(Control::List1);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  lastListRepaint_ = GetTickCount64();
}

}  // namespace app
