#include "tests/e2e/framework.h"

#include <algorithm>

#include "app/resource.h"

namespace e2e {

const wchar_t* const kCaption = L"Quendril腾讯视频转换为mp4格式ZV1.0";

namespace {

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kPollMs = 25;
constexpr DWORD kAnswerTimeoutMs = 10000;

// The \\?\ form lets the helpers reach the deep trees the long-path cases build.
std::wstring extended(const std::wstring& path) {
  if (path.rfind(L"\\\\", 0) == 0) return path;
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && trimmed.back() == L'\\') trimmed.pop_back();
  return L"\\\\?\\" + trimmed;
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() == L'\\') return folder + name;
  return folder + L"\\" + name;
}

std::wstring classOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

bool sameText(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
  return result;
}

std::wstring widen(const std::string& utf8Text) {
  if (utf8Text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), static_cast<int>(utf8Text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), static_cast<int>(utf8Text.size()), result.data(), size);
  return result;
}

std::string quoted(const std::wstring& text) {
  constexpr size_t kShown = 100;
  std::wstring shown;
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const wchar_t ch = text[i];
    if (ch < 0x20 || ch == 0x7F) {
      wchar_t escape[8];
      swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(ch));
      shown += escape;
    } else {
      shown += ch;
    }
  }
  std::string result = "\"" + utf8(shown) + "\"";
  if (text.size() > kShown) result += "... (" + std::to_string(text.size()) + " chars)";
  return result;
}

Case::Case(std::wstring name, std::wstring programPath)
    : name_(std::move(name)), programPath_(std::move(programPath)), root_(L"C:\\e2e\\" + name_ + L"\\") {}

bool Case::check(bool ok, const std::string& reason) {
  if (!ok && std::find(failures_.begin(), failures_.end(), reason) == failures_.end()) failures_.push_back(reason);
  return ok;
}

void Case::abort(const std::string& reason) { throw CaseAbort(reason); }

UniqueHandle& UniqueHandle::operator=(UniqueHandle&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = other.release();
  }
  return *this;
}

HANDLE UniqueHandle::release() {
  HANDLE handle = handle_;
  handle_ = nullptr;
  return handle;
}

void UniqueHandle::reset() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
}

// ---- files ----

void makeFolder(Case& c, const std::wstring& path) {
  std::wstring full = extended(path);
  // Skip "\\?\C:\" and create each level below it.
  for (size_t at = full.find(L'\\', 7);; at = full.find(L'\\', at + 1)) {
    const std::wstring level = at == std::wstring::npos ? full : full.substr(0, at);
    if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      c.abort("cannot create folder " + quoted(path) + " (error " + std::to_string(GetLastError()) + ")");
    }
    if (at == std::wstring::npos) break;
  }
}

void writeBytes(Case& c, const std::wstring& path, const std::string& bytes) {
  UniqueHandle file(
      CreateFileW(extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    c.abort("cannot write " + quoted(path) + " (error " + std::to_string(GetLastError()) + ")");
  }
}

std::optional<std::string> readBytes(const std::wstring& path) {
  UniqueHandle file(CreateFileW(extended(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

bool fileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(extended(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

bool removeEntry(const std::wstring& full, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(full.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(full.c_str()) != 0;
  // Most folders of the big trees are empty; removing them at once saves a search per folder.
  if (RemoveDirectoryW(full.c_str())) return true;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((full + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") removeEntry(full + L"\\" + name, found.dwFileAttributes);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryW(full.c_str()) != 0;
}

}  // namespace

bool removeTree(const std::wstring& path) {
  const std::wstring full = extended(path);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || removeEntry(full, attributes);
}

void setFolderTime(Case& c, const std::wstring& path, const SYSTEMTIME& utc) {
  FILETIME time;
  SystemTimeToFileTime(&utc, &time);
  UniqueHandle folder(CreateFileW(extended(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder || !SetFileTime(folder.get(), &time, &time, &time)) {
    c.abort("cannot set the time of " + quoted(path) + " (error " + std::to_string(GetLastError()) + ")");
  }
}

std::vector<std::wstring> namesInFolder(const std::wstring& folder, const std::wstring& pattern, bool wantFolders) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((extended(folder) + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == wantFolders) names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

namespace {

// What the list shows for a folder: its creation time as local short date and long time.
std::wstring entryForTime(const FILETIME& creation) {
  SYSTEMTIME utc, local;
  FileTimeToSystemTime(&creation, &utc);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  wchar_t date[128] = {}, time[128] = {};
  GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128, nullptr);
  GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 128);
  return std::wstring(date) + L" " + time;
}

}  // namespace

std::string joinedFragments(Case& c, const std::wstring& folder) {
  std::string joined;
  for (const std::wstring& name : namesInFolder(folder, L"*.tdl", false)) {
    const auto bytes = readBytes(joinPath(folder, name));
    if (!bytes) c.abort("cannot read fragment " + quoted(name));
    joined += *bytes;
  }
  return joined;
}

void makeFiles(Case& c, const std::wstring& folder, const Files& files) {
  makeFolder(c, folder);
  for (const auto& [name, bytes] : files) writeBytes(c, joinPath(folder, name), bytes);
}

std::string fragment(unsigned salt, size_t size) {
  return std::string("\x1A\x00\r\n", 4) + pseudoRandomBytes(salt, size);
}

std::wstring baseName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

std::optional<std::wstring> shortPathOf(const std::wstring& path) {
  wchar_t buffer[32768];
  const DWORD size = GetShortPathNameW(path.c_str(), buffer, 32768);
  if (size == 0 || size >= 32768) return std::nullopt;
  return std::wstring(buffer, size);
}

bool fitsCodePage936(const std::wstring& text) {
  if (text.empty()) return true;
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr,
                                       0, nullptr, &usedDefault);
  return size > 0 && !usedDefault;
}

std::string pseudoRandomBytes(unsigned salt, size_t count) {
  std::string bytes(count, '\0');
  unsigned state = salt * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

// ---- the program under test ----

std::wstring installProgram(Case& c, const std::wstring& appFolder) {
  makeFolder(c, appFolder);
  const std::wstring target = joinPath(appFolder, L"tdl2mp4.exe");
  if (!CopyFileW(c.programPath().c_str(), target.c_str(), FALSE)) {
    c.abort("cannot copy the program into " + quoted(appFolder) + " (error " + std::to_string(GetLastError()) + ")");
  }
  return appFolder;
}

App::App(Case& c, const std::wstring& appFolder) : case_(c), folder_(appFolder) {
  job_ = UniqueHandle(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job_ || !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    c.abort("cannot make a job object (error " + std::to_string(GetLastError()) + ")");
  }

  const std::wstring exe = joinPath(appFolder, L"tdl2mp4.exe");
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  // The case folder, not the program's own, is the working folder: the program must find its files by its own path.
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | DETACHED_PROCESS,
                      nullptr, c.root().c_str(), &startup, &info)) {
    c.abort("cannot start " + quoted(exe) + " (error " + std::to_string(GetLastError()) + ")");
  }
  process_ = UniqueHandle(info.hProcess);
  UniqueHandle thread(info.hThread);
  processId_ = info.dwProcessId;
  if (!AssignProcessToJobObject(job_.get(), process_.get())) {
    TerminateProcess(process_.get(), 1);
    c.abort("cannot put the program into a job (error " + std::to_string(GetLastError()) + ")");
  }
  ResumeThread(thread.get());

  const auto findMainWindow = [this] {
    for (HWND window : topLevelWindows(L"Form1", processId_)) {
      if (IsWindowVisible(window)) window_ = window;
    }
    return window_ != nullptr;
  };
  const bool shown = waitUntil([&] { return findMainWindow() || !running(); }, kWindowTimeoutMs, kPollMs);
  if (!window_) {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    if (shown) c.abort("the program ended (exit code " + std::to_string(code) + ") before showing its window");
    c.abort("no visible Form1 window of the program within 30 s");
  }
  threadId_ = GetWindowThreadProcessId(window_, nullptr);
  if (!settle()) c.abort("the program's window does not answer after start-up");
}

App::~App() { end(); }

void App::end() {
  if (!job_) return;
  TerminateJobObject(job_.get(), 1);
  WaitForSingleObject(process_.get(), 5000);
  // Children such as cmd keep files open; give them a moment to go before the next case deletes folders.
  waitUntil(
      [this] {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                       nullptr)) {
          return true;
        }
        return accounting.ActiveProcesses == 0;
      },
      5000, kPollMs);
  job_.reset();
}

HWND App::control(int id) const {
  HWND child = GetDlgItem(window_, id);
  if (!child) case_.abort("the window has no control with ID " + std::to_string(id));
  return child;
}

LRESULT App::send(HWND target, UINT message, WPARAM wParam, LPARAM lParam, const char* what) const {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(target, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs, &result)) {
    case_.abort(std::string("the window does not answer ") + what + " within 10 s");
  }
  return static_cast<LRESULT>(result);
}

std::wstring App::text(int id) const {
  HWND child = control(id);
  const auto length = static_cast<size_t>(send(child, WM_GETTEXTLENGTH, 0, 0, "WM_GETTEXTLENGTH"));
  std::wstring buffer(length + 1, L'\0');
  const auto copied = send(child, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), "WM_GETTEXT");
  buffer.resize(std::min(static_cast<size_t>(copied), length));
  return buffer;
}

void App::setText(int id, const std::wstring& text) {
  send(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), "WM_SETTEXT");
}

void App::click(int id) { SendNotifyMessageW(control(id), BM_CLICK, 0, 0); }

bool App::settle(DWORD timeoutMs) const {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool App::running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

bool App::waitForExit(DWORD timeoutMs) const { return WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0; }

int App::listCount() const { return static_cast<int>(send(control(IDC_LIST1), LB_GETCOUNT, 0, 0, "LB_GETCOUNT")); }

std::vector<std::wstring> App::listItems() const {
  HWND list = control(IDC_LIST1);
  const int count = listCount();
  std::vector<std::wstring> items;
  for (int i = 0; i < count; ++i) {
    const LRESULT length = send(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, "LB_GETTEXTLEN");
    if (length == LB_ERR) case_.abort("the list does not give the length of entry " + std::to_string(i));
    std::wstring item(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        send(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()), "LB_GETTEXT");
    if (copied == LB_ERR) case_.abort("the list does not give entry " + std::to_string(i));
    item.resize(static_cast<size_t>(std::min(copied, length)));
    items.push_back(item);
  }
  return items;
}

void App::selectListItem(int index) {
  send(control(IDC_LIST1), LB_SETCURSEL, static_cast<WPARAM>(index), 0, "LB_SETCURSEL");
}

int App::waitListSettled(int expected, DWORD timeoutMs) const {
  constexpr ULONGLONG kQuietMs = 400;
  int last = listCount();
  ULONGLONG lastChange = GetTickCount64();
  const ULONGLONG deadline = lastChange + timeoutMs;
  for (;;) {
    Sleep(kPollMs);
    const int now = listCount();
    const ULONGLONG tick = GetTickCount64();
    if (now != last) {
      last = now;
      lastChange = tick;
    } else if (now == expected && tick - lastChange >= kQuietMs) {
      return now;
    }
    if (tick >= deadline) return now;
  }
}

HWND App::focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadId_, &info)) return nullptr;
  return info.hwndFocus;
}

std::vector<HWND> topLevelWindows(const wchar_t* className, DWORD processId) {
  struct Search {
    const wchar_t* className;
    DWORD processId;
    std::vector<HWND> found;
  } search{className, processId, {}};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto* s = reinterpret_cast<Search*>(parameter);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if ((s->processId == 0 || owner == s->processId) && sameText(classOf(window), s->className)) {
          s->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<MessageBoxView> App::messageBox() const {
  const std::vector<HWND> boxes = topLevelWindows(L"#32770", processId_);
  if (boxes.empty()) return std::nullopt;
  MessageBoxView view;
  view.box = boxes.front();
  wchar_t title[512] = {};
  GetWindowTextW(view.box, title, 512);
  view.title = title;
  if (HWND textControl = GetDlgItem(view.box, 0xFFFF)) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(textControl, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kAnswerTimeoutMs,
                        &copied);
    view.text = text;
  }
  for (HWND child = GetWindow(view.box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const std::wstring name = classOf(child);
    if (sameText(name, L"Button")) {
      ++view.visibleButtons;
      if (GetDlgCtrlID(child) == IDOK) view.hasOkButton = true;
    } else if (sameText(name, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      DWORD_PTR icon = 0;
      SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &icon);
      if (icon) view.showsIcon = true;
    }
  }
  return view;
}

std::optional<MessageBoxView> App::waitMessageBox(DWORD timeoutMs) const {
  std::optional<MessageBoxView> view;
  // A box counts once it is visible: before that its text may not be set yet.
  waitUntil([&] { return (view = messageBox()) && IsWindowVisible(view->box); }, timeoutMs, kPollMs);
  if (view && IsWindowVisible(view->box)) return messageBox();
  return std::nullopt;
}

bool App::dismiss(const MessageBoxView& box) const {
  HWND ok = GetDlgItem(box.box, IDOK);
  if (ok) {
    PostMessageW(ok, BM_CLICK, 0, 0);
  } else {
    PostMessageW(box.box, WM_CLOSE, 0, 0);
  }
  return waitUntil([&] { return !IsWindow(box.box); }, 5000, kPollMs);
}

std::optional<std::wstring> takeMessage(Case& c, App& app, const std::string& when, DWORD timeoutMs) {
  const auto box = app.waitMessageBox(timeoutMs);
  if (!box) {
    c.check(false, when + ": no message box came");
    return std::nullopt;
  }
  c.check(box->title == kCaption, when + ": message box title is " + quoted(box->title));
  c.check(box->visibleButtons == 1 && box->hasOkButton, when + ": message box should have only an OK button, has " +
                                                            std::to_string(box->visibleButtons) + " button(s)");
  c.check(!box->showsIcon, when + ": message box shows an icon");
  if (!app.dismiss(*box)) c.abort(when + ": the message box does not close on OK");
  return box->text;
}

void expectMessage(Case& c, App& app, const std::wstring& expected, const std::string& when, DWORD timeoutMs) {
  if (const auto text = takeMessage(c, app, when, timeoutMs)) {
    c.check(*text == expected, when + ": message " + quoted(*text) + ", expected " + quoted(expected));
  }
}

void expectMessageStartingWith(Case& c, App& app, const std::wstring& prefix, const std::string& when,
                               DWORD timeoutMs) {
  if (const auto text = takeMessage(c, app, when, timeoutMs)) {
    c.check(text->rfind(prefix, 0) == 0,
            when + ": message " + quoted(*text) + ", expected one starting " + quoted(prefix));
  }
}

void expectNoMessage(Case& c, App& app, const std::string& when) {
  app.settle();
  // A box is made a moment before its modal loop answers; look a little longer.
  std::optional<MessageBoxView> box;
  waitUntil([&] { return (box = app.messageBox()).has_value(); }, 300, kPollMs);
  if (!box) return;
  box = app.waitMessageBox(5000);
  c.check(false, when + ": unexpected message " + (box ? quoted(box->text) : std::string("box")));
  if (box && !app.dismiss(*box)) c.abort(when + ": the unexpected message box does not close on OK");
}

void expectResponsive(Case& c, App& app, const std::string& when) {
  if (!c.check(app.running(), when + ": the program has ended")) c.abort(when + ": the program has ended");
  c.check(app.settle(5000), when + ": the window does not answer within 5 s");
}

std::vector<std::wstring> expectedListing(const std::wstring& cacheFolder) {
  std::vector<std::wstring> entries;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((extended(cacheFolder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L".." && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      entries.push_back(entryForTime(found.ftCreationTime));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

void checkList(Case& c, App& app, const std::vector<std::wstring>& expected, const std::string& when, DWORD timeoutMs) {
  const int count = app.waitListSettled(static_cast<int>(expected.size()), timeoutMs);
  if (!c.check(count == static_cast<int>(expected.size()), when + ": the list holds " + std::to_string(count) +
                                                               " entries, expected " +
                                                               std::to_string(expected.size()))) {
    return;
  }
  const std::vector<std::wstring> items = app.listItems();
  for (size_t i = 0; i < expected.size() && i < items.size(); ++i) {
    if (!c.check(items[i] == expected[i], when + ": list entry " + std::to_string(i) + " is " + quoted(items[i]) +
                                              ", expected " + quoted(expected[i]))) {
      return;
    }
  }
}

std::vector<std::wstring> readCache(Case& c, App& app, const std::wstring& typed, const std::wstring& cacheFolder,
                                    const std::string& when, DWORD timeoutMs) {
  app.setText(IDC_TEXT1, typed);
  app.click(IDC_COMMAND2);
  app.settle();
  checkList(c, app, expectedListing(cacheFolder), when, timeoutMs);
  expectNoMessage(c, app, when);
  return namesInFolder(cacheFolder, L"*", true);
}

std::optional<std::wstring> awaitOutput(Case& c, App& app, const std::wstring& output, const std::string& expected,
                                        const std::string& when) {
  const std::wstring script = joinPath(app.folder(), L"Fok.BAT");
  std::optional<std::string> bytes;
  const bool done = waitUntil(
      [&] {
        if (app.messageBox()) return true;
        if (fileExists(script)) return false;
        bytes = readBytes(output);
        if (bytes != expected) return false;
        // The interpreter may still be writing: the size must hold still too.
        Sleep(200);
        return readBytes(output) == expected && !fileExists(script);
      },
      30000, 50);
  if (app.messageBox()) {
    const auto box = app.waitMessageBox(5000);
    if (!box) c.abort(when + ": a message box came but did not show");
    if (!app.dismiss(*box)) c.abort(when + ": the message box does not close on OK");
    return box->text;
  }
  if (done) return std::nullopt;
  if (fileExists(script)) {
    c.check(false, when + ": Fok.BAT is still there after 30 s");
  } else if (!bytes) {
    c.check(false, when + ": no " + quoted(baseName(output)) + " after 30 s");
  } else {
    size_t at = 0;
    while (at < bytes->size() && at < expected.size() && (*bytes)[at] == expected[at]) ++at;
    c.check(false, when + ": " + quoted(baseName(output)) + " has " + std::to_string(bytes->size()) +
                       " bytes, expected " + std::to_string(expected.size()) + "; first difference at byte " +
                       std::to_string(at));
  }
  return std::nullopt;
}

}  // namespace e2e
