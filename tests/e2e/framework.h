// What every end-to-end case needs: a fresh folder, a started copy of the program
// in a job of its own, a view of its window from outside, and file helpers.
#pragma once

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/resource.h"
#include <tlhelp32.h>

namespace e2e {

// Thrown when a case cannot go on; the runner reports it as the case's failure.
struct CaseAbort : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Case {
  std::wstring name;
  std::wstring program;
  std::wstring root;  // C:\e2e\<case>\, emptied before the case runs
  std::vector<std::string> failures;

  // Records a failed check and lets the case go on, so one run reports every fault it sees.
  bool check(bool ok, const std::string& reason) {
    if (!ok && std::find(failures.begin(), failures.end(), reason) == failures.end()) failures.push_back(reason);
    return ok;
  }
  [[noreturn]] void abort(const std::string& reason) { throw CaseAbort(reason); }
};

struct CaseEntry {
  const wchar_t* name;
  void (*run)(Case&);
};
using CaseList = std::vector<CaseEntry>;

void addWindowCases(CaseList& cases);
void addListingCases(CaseList& cases);
void addSettingsCases(CaseList& cases);
void addConversionCases(CaseList& cases);

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;
// File functions fail with INVALID_HANDLE_VALUE, the others with null: both come out empty.
inline UniqueHandle own(HANDLE handle) { return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

// Sleeps in small steps until the condition holds or the time is up.
template <typename Condition>
bool waitUntil(Condition condition, DWORD timeoutMs, DWORD stepMs = 25) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(stepMs);
  }
}

// The program's fixed title, which every message box carries too.
const wchar_t* const kCaption = L"Quendril腾讯视频转换为mp4格式ZV1.0";

constexpr DWORD kPollMs = 25;
constexpr DWORD kAnswerTimeoutMs = 10000;

// The \\?\ form lets the helpers reach the deep trees the long-path cases build.
inline std::wstring extended(const std::wstring& path) {
  if (path.rfind(L"\\\\", 0) == 0) return path;
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && trimmed.back() == L'\\') trimmed.pop_back();
  return L"\\\\?\\" + trimmed;
}

inline std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
  return result;
}

inline std::string quotedUpTo(const std::wstring& text, wchar_t lastPlain) {
  constexpr size_t kShown = 100;
  std::wstring shown;
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const wchar_t ch = text[i];
    if (ch >= 0x20 && ch != 0x7F && ch <= lastPlain) {
      shown += ch;
      continue;
    }
    wchar_t escape[8];
    swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(ch));
    shown += escape;
  }
  std::string result = "\"" + utf8(shown) + "\"";
  if (text.size() > kShown) result += "... (" + std::to_string(text.size()) + " chars)";
  return result;
}

// Short printable forms for failure reasons: long texts are cut, control characters
// escaped, and in raw bytes every byte outside printable ASCII too.
inline std::string quoted(const std::wstring& text) { return quotedUpTo(text, 0xFFFF); }

inline std::string quoted(const std::string& bytes) {
  std::wstring wide;
  for (unsigned char ch : bytes) wide += static_cast<wchar_t>(ch);
  return quotedUpTo(wide, 0x7E);
}

inline std::string lastError() { return " (error " + std::to_string(GetLastError()) + ")"; }

inline bool hasClass(HWND window, const wchar_t* className) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return CompareStringOrdinal(name, -1, className, -1, TRUE) == CSTR_EQUAL;
}

// Text that a folder name may hold and that both code pages of the locale hold too:
// Chinese where they are 936, Western letters where they are 1252 and 850.
inline std::wstring localText() {
  return GetOEMCP() == 936 ? L"中文目录名字" : L"\u00E9\u00E0\u00E7\u00E8\u00F9\u00F4";
}

// ---- files ----

// Creates the folder and every missing parent; aborts the case when that fails.
inline void makeFolder(Case& c, const std::wstring& path) {
  std::wstring full = extended(path);
  // Skip "\\?\C:\" and create each level below it.
  for (size_t at = full.find(L'\\', 7);; at = full.find(L'\\', at + 1)) {
    const std::wstring level = at == std::wstring::npos ? full : full.substr(0, at);
    if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      c.abort("cannot create folder " + quoted(path) + lastError());
    }
    if (at == std::wstring::npos) break;
  }
}

inline void writeBytes(Case& c, const std::wstring& path, const std::string& bytes) {
  const UniqueHandle file = own(
      CreateFileW(extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    c.abort("cannot write " + quoted(path) + lastError());
  }
}

inline std::optional<std::string> readBytes(const std::wstring& path) {
  const UniqueHandle file =
      own(CreateFileW(extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

inline bool fileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(extended(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Entries of a folder matching a pattern in the order the file system gives them:
// only folders, only files, or (nullopt) both.
inline std::vector<WIN32_FIND_DATAW> findEntries(const std::wstring& folder, const std::wstring& pattern,
                                                 std::optional<bool> wantFolders) {
  std::vector<WIN32_FIND_DATAW> entries;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((extended(folder) + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = found.cFileName;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (name != L"." && name != L".." && (!wantFolders || *wantFolders == isFolder)) entries.push_back(found);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

inline bool removeEntry(const std::wstring& full, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(full.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(full.c_str()) != 0;
  // Most folders of the big trees are empty; removing them at once saves a search per folder.
  if (RemoveDirectoryW(full.c_str())) return true;
  for (const auto& entry : findEntries(full, L"*", std::nullopt)) {
    removeEntry(full + L"\\" + entry.cFileName, entry.dwFileAttributes);
  }
  return RemoveDirectoryW(full.c_str()) != 0;
}

// Deletes a folder with everything in it, read-only and hidden entries included.
inline bool removeTree(const std::wstring& path) {
  const std::wstring full = extended(path);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || removeEntry(full, attributes);
}

inline void makeFiles(Case& c, const std::wstring& folder,
                      const std::vector<std::pair<std::wstring, std::string>>& files) {
  makeFolder(c, folder);
  for (const auto& [name, bytes] : files) writeBytes(c, folder + L"\\" + name, bytes);
}

// Pseudo-random fragment bytes, varied by the salt, that start with what a text-mode copy would stop at or change.
inline std::string fragment(unsigned salt, size_t size) {
  std::string bytes("\x1A\x00\r\n", 4);
  unsigned state = salt * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

// ---- the program under test ----

// A named function rather than a lambda: on 32-bit Windows a callback must be
// __stdcall, and a lambda converts only to the default calling convention.
inline BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// Top-level windows of a class, of one process or (processId 0) of any.
inline std::vector<HWND> topLevelWindows(const wchar_t* className, DWORD processId = 0) {
  std::vector<HWND> all, found;
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND window : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((processId == 0 || owner == processId) && hasClass(window, className)) found.push_back(window);
  }
  return found;
}

// One started copy of the program. The job is closed with kill-on-close, so the
// command interpreter and explorer windows it started end with it.
class App {
 public:
  // Starts appFolder\tdl2mp4.exe with a working folder other than its own and waits for its main window.
  App(Case& c, const std::wstring& appFolder) : case_(c), folder_(appFolder) {
    job_ = own(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ || !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      c.abort("cannot make a job object" + lastError());
    }

    const std::wstring exe = appFolder + L"\\tdl2mp4.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    // The case folder, not the program's own, is the working folder: the program must find its files by its own path.
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | DETACHED_PROCESS,
                        nullptr, c.root.c_str(), &startup, &info)) {
      c.abort("cannot start " + quoted(exe) + lastError());
    }
    process_ = own(info.hProcess);
    const UniqueHandle thread = own(info.hThread);
    processId_ = info.dwProcessId;
    if (!AssignProcessToJobObject(job_.get(), process_.get())) {
      TerminateProcess(process_.get(), 1);
      c.abort("cannot put the program into a job" + lastError());
    }
    ResumeThread(thread.get());

    const auto ended = [this] { return WaitForSingleObject(process_.get(), 0) != WAIT_TIMEOUT; };
    waitUntil(
        [&] {
          for (HWND window : topLevelWindows(L"Form1", processId_))
            window_ = IsWindowVisible(window) ? window : window_;
          return window_ || ended();
        },
        30000, kPollMs);
    if (!window_) c.abort(ended() ? "the program ended before showing its window" : "no visible Form1 window in 30 s");
    threadId_ = GetWindowThreadProcessId(window_, nullptr);
    if (!settle()) c.abort("the program's window does not answer after start-up");
  }

  // Ends every process of the job.
  ~App() {
    TerminateJobObject(job_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
    // Children such as cmd keep files open; give them a moment to go before the next case deletes folders.
    waitUntil(
        [this] {
          JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
          return !QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting,
                                            sizeof accounting, nullptr) ||
                 accounting.ActiveProcesses == 0;
        },
        5000, kPollMs);
  }

  HWND window() const { return window_; }
  const std::wstring& folder() const { return folder_; }
  DWORD processId() const { return processId_; }
  HWND control(int id) const {
    HWND child = GetDlgItem(window_, id);
    if (!child) case_.abort("the window has no control with ID " + std::to_string(id));
    return child;
  }
  std::wstring text(int id) const {
    HWND child = control(id);
    const auto length = static_cast<size_t>(send(child, WM_GETTEXTLENGTH, 0, 0));
    std::wstring buffer(length + 1, L'\0');
    const auto copied = send(child, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(std::min(static_cast<size_t>(copied), length));
    return buffer;
  }
  void setText(int id, const std::wstring& text) {
    send(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // Queued, so a later settle() is answered only after the click's handler has run or has entered a modal loop.
  void click(int id) { SendNotifyMessageW(control(id), BM_CLICK, 0, 0); }
  // True once the window's thread answers a message within the timeout.
  bool settle(DWORD timeoutMs = 10000) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
  }
  bool waitForExit(DWORD timeoutMs) const { return WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0; }
  HWND focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId_, &info) ? info.hwndFocus : nullptr;
  }
  int listCount() const { return static_cast<int>(send(control(IDC_LIST1), LB_GETCOUNT, 0, 0)); }
  std::vector<std::wstring> listItems() const {
    HWND list = control(IDC_LIST1);
    std::vector<std::wstring> items(static_cast<size_t>(listCount()));
    for (size_t i = 0; i < items.size(); ++i) {
      const LRESULT length = send(list, LB_GETTEXTLEN, i, 0);
      if (length == LB_ERR) case_.abort("the list does not give entry " + std::to_string(i));
      items[i].resize(static_cast<size_t>(length) + 1);
      const LRESULT copied = send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(items[i].data()));
      items[i].resize(static_cast<size_t>(std::clamp<LRESULT>(copied, 0, length)));
    }
    return items;
  }
  void selectListItem(int index) { send(control(IDC_LIST1), LB_SETCURSEL, static_cast<WPARAM>(index), 0); }
  // Polls until the list holds `expected` entries and has stopped changing, or a message box comes;
  // returns the last count and tells whether the list ever shrank meanwhile.
  int waitListSettled(int expected, DWORD timeoutMs, bool* shrank = nullptr) const {
    int last = listCount();
    ULONGLONG lastChange = GetTickCount64();
    const ULONGLONG deadline = lastChange + timeoutMs;
    for (;;) {
      Sleep(kPollMs);
      const int now = listCount();
      const ULONGLONG tick = GetTickCount64();
      if (now < last && shrank) *shrank = true;
      if (now != last) {
        last = now;
        lastChange = tick;
      } else if ((now == expected && tick - lastChange >= 400) || !topLevelWindows(L"#32770", processId_).empty()) {
        return now;
      }
      if (tick >= deadline) return now;
    }
  }

 private:
  // Sends across processes; a window that does not answer within 10 s ends the case.
  LRESULT send(HWND target, UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(target, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs, &result)) {
      case_.abort("the window does not answer message " + std::to_string(message) + " within 10 s");
    }
    return static_cast<LRESULT>(result);
  }

  Case& case_;
  std::wstring folder_;
  UniqueHandle job_;
  UniqueHandle process_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
};

// The command interpreters the program started and that still run.
inline std::vector<DWORD> interpreters(const App& app) {
  std::vector<DWORD> found;
  const UniqueHandle snapshot = own(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID == app.processId() &&
        CompareStringOrdinal(entry.szExeFile, -1, L"cmd.exe", -1, TRUE) == CSTR_EQUAL) {
      found.push_back(entry.th32ProcessID);
    }
  }
  return found;
}

// The command line another process of the driver's own bitness was started with,
// read from its process parameters.
inline std::optional<std::wstring> commandLineOf(DWORD processId) {
  struct BasicInformation {
    LONG_PTR exitStatus;
    void* environmentBlock;
    ULONG_PTR affinityMask, basePriority, processId, parentProcessId;
  };
  struct CountedText {
    USHORT length, maximumLength;
    wchar_t* buffer;
  };
  // Where the parameters sit in the environment block, and the command line in the parameters.
  constexpr size_t kParametersAt = sizeof(void*) == 8 ? 0x20 : 0x10;
  constexpr size_t kCommandLineAt = sizeof(void*) == 8 ? 0x70 : 0x40;
  using QueryProcess = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryProcess>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  const UniqueHandle process = own(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  BasicInformation basic{};
  if (!query || !process || query(process.get(), 0, &basic, sizeof basic, nullptr) < 0) return std::nullopt;
  const auto read = [&](const void* at, void* into, size_t size) {
    SIZE_T got = 0;
    return ReadProcessMemory(process.get(), at, into, size, &got) && got == size;
  };
  const char* parameters = nullptr;
  CountedText text{};
  if (!read(static_cast<const char*>(basic.environmentBlock) + kParametersAt, &parameters, sizeof parameters) ||
      !read(parameters + kCommandLineAt, &text, sizeof text)) {
    return std::nullopt;
  }
  std::wstring line(text.length / sizeof(wchar_t), L'\0');
  if (!line.empty() && !read(text.buffer, line.data(), text.length)) return std::nullopt;
  return line;
}

inline HWND messageBox(const App& app) {
  const std::vector<HWND> boxes = topLevelWindows(L"#32770", app.processId());
  return boxes.empty() ? nullptr : boxes.front();
}

// Zero when the window does not answer in time.
inline DWORD_PTR ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs, &result);
  return result;
}

// Waits for a box, checks that it looks as every message of the program does,
// dismisses it and returns its text; records a failure and returns nothing when no box comes.
inline std::optional<std::wstring> takeMessage(Case& c, App& app, const std::string& when, DWORD timeoutMs) {
  HWND box = nullptr;
  // A box counts once it is visible: before that its text may not be set yet.
  waitUntil([&] { return (box = messageBox(app)) && IsWindowVisible(box); }, timeoutMs, kPollMs);
  if (!c.check(box && IsWindowVisible(box), when + ": no message box came")) return std::nullopt;
  wchar_t title[512] = {};
  GetWindowTextW(box, title, 512);
  c.check(title == std::wstring(kCaption), when + ": message box title is " + quoted(title));
  int buttons = 0, okButtons = 0, icons = 0;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    if (hasClass(child, L"Button")) ++buttons, okButtons += GetDlgCtrlID(child) == IDOK;
    if (hasClass(child, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      icons += ask(child, STM_GETICON, 0, 0) != 0;
    }
  }
  c.check(buttons == 1 && okButtons == 1,
          when + ": message box should have only an OK button, has " + std::to_string(buttons) + " button(s)");
  c.check(icons == 0, when + ": message box shows an icon");
  wchar_t text[4096] = {};
  ask(GetDlgItem(box, 0xFFFF), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
  // Pressing OK, or closing a box that lacks one, must make it go.
  HWND ok = GetDlgItem(box, IDOK);
  PostMessageW(ok ? ok : box, ok ? BM_CLICK : WM_CLOSE, 0, 0);
  if (!waitUntil([&] { return !IsWindow(box); }, 5000, kPollMs)) c.abort(when + ": the message box does not close");
  return text;
}

// Copies the program under test into the folder (created as needed); returns the folder.
inline std::wstring installProgram(Case& c, const std::wstring& appFolder) {
  makeFolder(c, appFolder);
  if (!CopyFileW(c.program.c_str(), (appFolder + L"\\tdl2mp4.exe").c_str(), FALSE)) {
    c.abort("cannot copy the program into " + quoted(appFolder) + lastError());
  }
  return appFolder;
}

// Waits for a box that looks as every message of the program does and has exactly this
// text or, with prefixOnly, one starting with it; dismisses it.
inline void expectMessage(Case& c, App& app, const std::wstring& expected, const std::string& when,
                          bool prefixOnly = false, DWORD timeoutMs = 15000) {
  if (const auto text = takeMessage(c, app, when, timeoutMs)) {
    c.check(
        prefixOnly ? text->rfind(expected, 0) == 0 : *text == expected,
        when + ": message " + quoted(*text) + ", expected " + (prefixOnly ? "one starting " : "") + quoted(expected));
  }
}

// After the handler has finished: no box is up (one that is gets dismissed and reported).
inline void expectNoMessage(Case& c, App& app, const std::string& when) {
  app.settle();
  // A box is made a moment before its modal loop answers; look a little longer.
  if (!waitUntil([&] { return messageBox(app) != nullptr; }, 300, kPollMs)) return;
  c.check(false, when + ": unexpected message " + quoted(takeMessage(c, app, when, 5000).value_or(L"")));
}

inline void expectResponsive(Case& c, App& app, const std::string& when) {
  if (app.waitForExit(0)) c.abort(when + ": the program has ended");
  c.check(app.settle(5000), when + ": the window does not answer within 5 s");
}

// What the list must show for a cache folder: one entry per subfolder, in enumeration order.
inline std::vector<std::wstring> expectedListing(const std::wstring& cacheFolder) {
  std::vector<std::wstring> entries;
  for (const auto& folder : findEntries(cacheFolder, L"*", true)) {
    // A folder's creation time as local short date and long time.
    SYSTEMTIME utc, local;
    FileTimeToSystemTime(&folder.ftCreationTime, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    wchar_t date[128] = {}, time[128] = {};
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 128);
    entries.push_back(std::wstring(date) + L" " + time);
  }
  return entries;
}

// Compares the list with what it must show; reports the first difference.
inline void checkList(Case& c, App& app, const std::vector<std::wstring>& expected, const std::string& when,
                      DWORD timeoutMs = 30000) {
  app.waitListSettled(static_cast<int>(expected.size()), timeoutMs);
  const std::vector<std::wstring> items = app.listItems();
  const auto [want, got] = std::mismatch(expected.begin(), expected.end(), items.begin(), items.end());
  if (want == expected.end() && got == items.end()) return;
  c.check(false, when + ": the list holds " + std::to_string(items.size()) + " entries for " +
                     std::to_string(expected.size()) + " expected; entry " + std::to_string(want - expected.begin()) +
                     " is " + (got == items.end() ? "missing" : quoted(*got)) + ", expected " +
                     (want == expected.end() ? "none" : quoted(*want)));
}

// Types the folder into the path box, presses the read button and checks the list it fills.
// Returns the subfolder names in list order.
inline std::vector<std::wstring> readCache(Case& c, App& app, const std::wstring& typed,
                                           const std::wstring& cacheFolder, const std::string& when,
                                           DWORD timeoutMs = 30000) {
  app.setText(IDC_TEXT1, typed);
  app.click(IDC_COMMAND2);
  app.settle();
  checkList(c, app, expectedListing(cacheFolder), when, timeoutMs);
  expectNoMessage(c, app, when);
  std::vector<std::wstring> names;
  for (const auto& folder : findEntries(cacheFolder, L"*", true)) names.push_back(folder.cFileName);
  return names;
}

// Waits until the script is gone and the output holds exactly the expected bytes;
// records what is wrong after 30 s. A message box that comes instead is dismissed
// and its text returned, for the caller to judge.
inline std::optional<std::wstring> awaitOutput(Case& c, App& app, const std::wstring& output,
                                               const std::string& expected, const std::string& when) {
  const std::wstring script = app.folder() + L"\\Fok.BAT";
  std::optional<std::string> bytes;
  const bool done = waitUntil(
      [&] {
        if (messageBox(app)) return true;
        if (fileExists(script) || (bytes = readBytes(output)) != expected) return false;
        // The interpreter may still be writing: the size must hold still too.
        Sleep(200);
        return readBytes(output) == expected && !fileExists(script);
      },
      30000, 50);
  if (messageBox(app)) return takeMessage(c, app, when, 5000);
  if (!done) {
    c.check(false, when + ": after 30 s " + (fileExists(script) ? "Fok.BAT is still there; " : "") + quoted(output) +
                       " holds " + (bytes ? std::to_string(bytes->size()) + " bytes" : "nothing") + " for " +
                       std::to_string(expected.size()) + " expected");
  }
  return std::nullopt;
}

}  // namespace e2e
