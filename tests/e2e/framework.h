// What every end-to-end case needs: a fresh folder, a started copy of the program
// in a job of its own, a view of its window from outside, and file helpers.
#pragma once

#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "platform/win32/error_text.h"
#include "platform/win32/files.h"
#include "platform/win32/handles.h"
#include "platform/win32/processes.h"
#include "platform/win32/wide.h"

namespace e2e {

struct Case {
  std::wstring program;
  std::wstring root;  // emptied before the case runs
  std::vector<std::string> failures;

  // Records a failed check and lets the case go on, so one run reports every fault it sees.
  bool check(bool ok, const std::string& reason) {
    if (!ok && std::find(failures.begin(), failures.end(), reason) == failures.end()) failures.push_back(reason);
    return ok;
  }
  // For when the case cannot go on; the runner reports it as the case's failure.
  [[noreturn]] void abort(const std::string& reason) { throw std::runtime_error(reason); }
};

using CaseList = std::vector<std::pair<const wchar_t*, void (*)(Case&)>>;

void addWindowCases(CaseList& cases);
void addConversionCases(CaseList& cases);
void addRemuxCases(CaseList& cases);
void addBatchCases(CaseList& cases);

using platform::win32::toUtf8;
using UniqueHandle = platform::win32::KernelHandle;
// File functions fail with INVALID_HANDLE_VALUE, the others with null: both come out empty.
inline UniqueHandle own(HANDLE handle) { return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

template <typename Condition>
bool waitUntil(Condition condition, DWORD timeoutMs, DWORD stepMs = 25) {
  for (const ULONGLONG deadline = GetTickCount64() + timeoutMs; !condition(); Sleep(stepMs)) {
    if (GetTickCount64() >= deadline) return false;
  }
  return true;
}

// The program's fixed title, which every message box carries too.
const wchar_t* const kCaption = L"Quendril腾讯视频转换为mp4格式ZV1.0";
// Messages more than one group of cases meets.
const wchar_t* const kStillConverting = L"上一个视频还在转换，请等它完成后再开始下一个。";
const wchar_t* const kOwnNameTaken = L"程序要用的文件名被文件夹或链接占用，请移走或删除后再试：";

// The \\?\ form lets the helpers reach the deep trees the long-path case builds.
inline std::wstring extended(std::wstring path) {
  if (path.rfind(L"\\\\", 0) == 0) return path;
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return L"\\\\?\\" + path;
}

// Failure reasons stay short and printable: control characters, and in raw bytes all but printable ASCII, escaped.
template <typename Text>
std::string quoted(const Text& text) {
  const wchar_t* const hex = L"0123456789ABCDEF";
  std::wstring shown;
  for (size_t i = 0; i < text.size() && i < 100; ++i) {
    const auto ch = static_cast<std::make_unsigned_t<typename Text::value_type>>(text[i]);
    const bool plain = ch >= 0x20 && ch != 0x7F && (sizeof ch > 1 || ch < 0x80);
    shown += plain ? std::wstring(1, static_cast<wchar_t>(ch)) : std::wstring{L'\\', L'x', hex[ch >> 4], hex[ch & 15]};
  }
  return "\"" + toUtf8(shown) + "\"" + (text.size() > 100 ? "... (" + std::to_string(text.size()) + " chars)" : "");
}

inline std::string lastError() { return " (" + platform::win32::lastErrorText() + ")"; }

inline bool hasClass(HWND window, const wchar_t* className) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return CompareStringOrdinal(name, -1, className, -1, TRUE) == CSTR_EQUAL;
}

inline void makeFolder(Case& c, const std::wstring& path) {
  const std::wstring full = extended(path);
  // Skip "\\?\C:\" and create each level below it.
  for (size_t at = full.find(L'\\', 7);; at = full.find(L'\\', at + 1)) {
    if (!CreateDirectoryW(full.substr(0, at).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      c.abort("cannot create folder " + quoted(path) + lastError());
    }
    if (at == std::wstring::npos) return;
  }
}

inline void writeBytes(Case& c, const std::wstring& path, const std::string& bytes) {
  const platform::Status written = platform::win32::writeFile(toUtf8(path), bytes);
  if (!written.ok()) c.abort("cannot write " + quoted(path) + " (" + written.error + ")");
}

// Nothing when the file is missing or is a folder.
inline std::optional<std::string> readBytes(const std::wstring& path) {
  auto read = platform::win32::readFile(toUtf8(path), UINT64_MAX);
  if (!read.ok()) return std::nullopt;
  return std::move(read.value());
}

// In the order the file system gives them.
inline std::vector<WIN32_FIND_DATAW> entries(const std::wstring& folder) {
  std::vector<WIN32_FIND_DATAW> found(1);
  const HANDLE search = FindFirstFileW((extended(folder) + L"\\*").c_str(), &found.back());
  if (search == INVALID_HANDLE_VALUE) return {};
  do {
    const std::wstring name = found.back().cFileName;
    if (name != L"." && name != L"..") found.emplace_back();
  } while (FindNextFileW(search, &found.back()));
  FindClose(search);
  found.pop_back();
  return found;
}

// Read-only and hidden entries included.
inline bool removeTree(const std::wstring& path) {
  const std::wstring full = extended(path);
  SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
  // Most folders of the big trees are empty; removing them at once saves a search per folder.
  if (!DeleteFileW(full.c_str()) && !RemoveDirectoryW(full.c_str())) {
    for (const auto& entry : entries(full)) removeTree(full + L"\\" + entry.cFileName);
    RemoveDirectoryW(full.c_str());
  }
  return GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES;
}

inline std::vector<HWND> topLevelWindows(const wchar_t* className, DWORD processId = 0) {
  std::vector<HWND> found;
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, nullptr));) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (processId == 0 || owner == processId) found.push_back(window);
  }
  return found;
}

// Of any class when none is given.
inline HWND visibleWindow(const wchar_t* className, DWORD processId) {
  for (HWND window : topLevelWindows(className, processId)) {
    if (IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// Sends across processes; a window that does not answer within 10 s ends the case.
inline LRESULT send(HWND target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(target, message, wParam, lParam, SMTO_NORMAL, 10000, &result)) {
    throw std::runtime_error("the window does not answer message " + std::to_string(message) + " within 10 s");
  }
  return static_cast<LRESULT>(result);
}

inline std::wstring textOf(HWND window) {
  std::wstring text(static_cast<size_t>(send(window, WM_GETTEXTLENGTH)) + 1, L'\0');
  text.resize(static_cast<size_t>(send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

inline std::wstring installProgram(Case& c, const std::wstring& appFolder) {
  makeFolder(c, appFolder);
  if (!CopyFileW(c.program.c_str(), (appFolder + L"\\tdl2mp4.exe").c_str(), FALSE)) {
    c.abort("cannot copy the program into " + quoted(appFolder) + lastError());
  }
  return appFolder;
}

// A started program, in a job of its own that is closed with kill-on-close, so the command interpreter and
// explorer windows it started end with it. The end-to-end cases and the bench start every program this way.
class Launched {
 public:
  Launched(const std::wstring& exe, const std::wstring& arguments, const wchar_t* workingFolder) {
    job_ = own(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ || !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      throw std::runtime_error("cannot make a job object" + lastError());
    }
    // Put in the job at once: the programs started here start nothing of their own until they are clicked.
    const std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    auto started = platform::win32::startProcess(
        {toUtf8(exe), toUtf8(commandLine), workingFolder ? toUtf8(workingFolder) : "", platform::WindowStyle::Normal});
    if (!started.ok()) throw std::runtime_error("cannot start " + quoted(exe) + " (" + started.error() + ")");
    process_ = std::move(started.value());
    processId_ = GetProcessId(process_.get());
    if (!AssignProcessToJobObject(job_.get(), process_.get())) {
      TerminateProcess(process_.get(), 1);
      throw std::runtime_error("cannot put " + quoted(exe) + " into a job" + lastError());
    }
  }
  Launched(Launched&&) = default;
  ~Launched() {
    if (!process_) return;
    TerminateJobObject(job_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }

  HANDLE job() const { return job_.get(); }
  HANDLE process() const { return process_.get(); }
  DWORD processId() const { return processId_; }
  bool waitForExit(DWORD timeoutMs) const { return WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0; }
  // Its first visible top-level window of the class, once that answers; none if the program ended or time ran out.
  HWND awaitWindow(const wchar_t* className, DWORD timeoutMs, DWORD stepMs = 25) const {
    HWND window = nullptr;
    waitUntil([&] { return (window = visibleWindow(className, processId_)) || waitForExit(0); }, timeoutMs, stepMs);
    if (window) send(window, WM_NULL);
    return window;
  }

 private:
  UniqueHandle job_;
  UniqueHandle process_;
  DWORD processId_ = 0;
};

// One started copy of the program in the given folder.
class App {
 public:
  // Waits for the main window unless told that the program should not show one.
  enum class Expect { Window, NoWindow };

  // The case folder, not the program's own, is the working folder: the program must find its files by its own path.
  App(Case& c, const std::wstring& appFolder, Expect expect = Expect::Window)
      : case_(c), folder_(appFolder), program_(appFolder + L"\\tdl2mp4.exe", L"", c.root.c_str()) {
    if (expect == Expect::NoWindow) return;
    window_ = program_.awaitWindow(MAIN_WINDOW_CLASS, 30000);
    if (!window_) c.abort(waitForExit(0) ? "the program ended before showing its window" : "no main window in 30 s");
  }

  HWND window() const { return window_; }
  const std::wstring& folder() const { return folder_; }
  DWORD processId() const { return program_.processId(); }
  HWND control(int id) const {
    HWND child = GetDlgItem(window_, id);
    if (!child) case_.abort("the window has no control with ID " + std::to_string(id));
    return child;
  }
  void setText(int id, const std::wstring& text) const {
    send(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // Queued, so a later settle() is answered only after the click's handler has run or has entered a modal loop.
  void click(int id) const { SendNotifyMessageW(control(id), BM_CLICK, 0, 0); }
  bool settle(DWORD timeoutMs = 10000) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
  }
  bool waitForExit(DWORD timeoutMs) const { return program_.waitForExit(timeoutMs); }
  int listCount() const { return static_cast<int>(send(control(IDC_LIST1), LB_GETCOUNT)); }
  std::wstring listItemText(int index) const {
    HWND list = control(IDC_LIST1);
    const auto at = static_cast<WPARAM>(index);
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(send(list, LB_GETTEXTLEN, at), 0)) + 1, L'\0');
    const LRESULT length = send(list, LB_GETTEXT, at, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(length, 0)));
    return text;
  }
  // A click on the entry's middle as the mouse makes it, with MK_CONTROL or MK_SHIFT for a key held: the list reads
  // the keys from the message. An entry scrolled out of sight is scrolled in first, as a user would. Sent, not
  // posted, so the selection can be read as soon as this returns.
  void clickListItem(int index, WPARAM keys = 0) const {
    HWND list = control(IDC_LIST1);
    RECT client{}, item{};
    GetClientRect(list, &client);
    const auto itemRect = [&] {
      // Left empty where the call does not carry the rectangle across processes.
      item = RECT{};
      if (send(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) == LB_ERR ||
          IsRectEmpty(&item)) {
        case_.abort("no rectangle for list entry " + std::to_string(index));
      }
    };
    itemRect();
    if (item.top < client.top || item.bottom > client.bottom) {
      send(list, LB_SETTOPINDEX, static_cast<WPARAM>(index));
      itemRect();
    }
    const LPARAM middle = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    send(list, WM_LBUTTONDOWN, MK_LBUTTON | keys, middle);
    send(list, WM_LBUTTONUP, keys, middle);
  }
  // Typed as a user types it: the program reads Ctrl from the key state, which only real or SendInput keys set.
  // Such keys go to the window in front, to the control with the focus there, which must be the list.
  void typeCtrlA() const {
    GUITHREADINFO focus{};
    focus.cbSize = sizeof focus;
    SetForegroundWindow(window_);
    if (GetForegroundWindow() != window_ || !GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &focus) ||
        focus.hwndFocus != control(IDC_LIST1)) {
      case_.abort("the list does not have the keyboard's focus in the window in front");
    }
    INPUT keys[4] = {};
    const WORD pressed[4] = {VK_CONTROL, 'A', 'A', VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
      keys[i].type = INPUT_KEYBOARD;
      keys[i].ki.wVk = pressed[i];
      keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    if (SendInput(4, keys, sizeof(INPUT)) != 4) case_.abort("cannot type Ctrl+A" + lastError());
  }
  // A plain click: this entry alone.
  void selectListItem(int index) const { clickListItem(index); }
  std::vector<int> selectedListItems() const {
    HWND list = control(IDC_LIST1);
    std::vector<int> selected;
    for (int i = 0, count = listCount(); i < count; ++i) {
      if (send(list, LB_GETSEL, static_cast<WPARAM>(i)) > 0) selected.push_back(i);
    }
    return selected;
  }
  HWND messageBox() const {
    const std::vector<HWND> boxes = topLevelWindows(L"#32770", processId());
    return boxes.empty() ? nullptr : boxes.front();
  }

 private:
  Case& case_;
  std::wstring folder_;
  Launched program_;
  HWND window_ = nullptr;
};

// Waits for the box that should come (with none expected, gives a box a moment to come), checks that it looks as
// every box of the program does, with exactly the given buttons, presses one and compares the start of its text.
// Returns the whole text.
inline std::wstring answerBox(Case& c, const App& app, const std::wstring& expected, const std::string& when,
                              std::initializer_list<int> buttons, int press, DWORD timeoutMs = 15000) {
  app.settle();
  HWND box = nullptr;
  // A box counts once it is visible: before that its text may not be set yet.
  waitUntil([&] { return (box = app.messageBox()) && IsWindowVisible(box); }, expected.empty() ? 300 : timeoutMs);
  if (!box || !IsWindowVisible(box)) {
    c.check(expected.empty(), when + ": no message box came");
    return {};
  }
  const std::wstring title = textOf(box);
  c.check(title == kCaption, when + ": message box title is " + quoted(title));
  std::size_t shownButtons = 0;
  int icons = 0;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    shownButtons += hasClass(child, L"Button");
    icons += hasClass(child, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
             send(child, STM_GETICON) != 0;
  }
  const bool buttonsAsAsked = shownButtons == buttons.size() &&
                              std::all_of(buttons.begin(), buttons.end(), [&](int id) { return GetDlgItem(box, id); });
  c.check(buttonsAsAsked, when + ": message box should have only " +
                              (buttons.size() == 1 ? std::string("an OK button") : std::string("Yes and No buttons")));
  c.check(icons == 0, when + ": message box shows an icon");
  const std::wstring text = textOf(GetDlgItem(box, 0xFFFF));
  PostMessageW(GetDlgItem(box, press), BM_CLICK, 0, 0);
  if (!waitUntil([&] { return !IsWindow(box); }, 5000)) c.abort(when + ": the message box does not close");
  c.check(!expected.empty() && text.rfind(expected, 0) == 0,
          when + ": message " + quoted(text) + (expected.empty() ? "" : ", expected " + quoted(expected)));
  return text;
}

// A message of the program's, which has only an OK button.
inline std::wstring expectMessage(Case& c, const App& app, const std::wstring& expected, const std::string& when,
                                  DWORD timeoutMs = 15000) {
  return answerBox(c, app, expected, when, {IDOK}, IDOK, timeoutMs);
}

// Types the path and presses the read button, unless a read is under way; the list must hold still at the cache
// folder's subfolders, each as its creation time in local short date and long time, in enumeration order, and must
// never shrink meanwhile, which only a second read would do. Returns the subfolder names in list order.
inline std::vector<std::wstring> readCache(Case& c, const App& app, const std::wstring& typed,
                                           const std::wstring& cache, const std::string& when,
                                           DWORD timeoutMs = 30000) {
  if (!typed.empty()) {
    app.setText(IDC_TEXT1, typed);
    app.click(IDC_COMMAND2);
    app.settle();
  }
  std::vector<std::wstring> names, expected;
  for (const WIN32_FIND_DATAW& entry : entries(cache)) {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    SYSTEMTIME utc, local;
    FileTimeToSystemTime(&entry.ftCreationTime, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    wchar_t date[128] = {}, time[128] = {};
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 128);
    expected.push_back(std::wstring(date) + L" " + time);
    names.push_back(entry.cFileName);
  }
  int count = app.listCount();
  bool shrank = false;
  for (ULONGLONG now = GetTickCount64(), changed = now, deadline = now + timeoutMs;
       now < deadline && !app.messageBox() && (count != static_cast<int>(expected.size()) || now - changed < 400);
       now = GetTickCount64()) {
    Sleep(25);
    const int newCount = app.listCount();
    shrank = shrank || newCount < count;
    if (newCount != count) changed = GetTickCount64(), count = newCount;
  }
  c.check(!shrank, when + ": the list was emptied again: a second read started");
  std::vector<std::wstring> items(static_cast<size_t>(app.listCount()));
  for (size_t i = 0; i < items.size(); ++i) items[i] = app.listItemText(static_cast<int>(i));
  const size_t same = static_cast<size_t>(
      std::mismatch(expected.begin(), expected.end(), items.begin(), items.end()).first - expected.begin());
  c.check(items == expected, when + ": the list holds " + std::to_string(items.size()) + " entries for " +
                                 std::to_string(expected.size()) + "; entry " + std::to_string(same) + " is " +
                                 (same < items.size() ? quoted(items[same]) : "missing"));
  expectMessage(c, app, L"", when);
  return names;
}

}  // namespace e2e
