// What every end-to-end case needs: a fresh folder, a started copy of the program
// in a job of its own, a view of its window from outside, and file helpers.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

std::string utf8(const std::wstring& text);
std::wstring widen(const std::string& utf8Text);
// A short printable form of a text for failure reasons: long texts are cut, control characters escaped.
std::string quoted(const std::wstring& text);

// Thrown when a case cannot go on; the runner reports it as the case's failure.
struct CaseAbort : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Case {
 public:
  Case(std::wstring name, std::wstring programPath);

  const std::wstring& name() const { return name_; }
  // C:\e2e\<case>\, emptied before the case runs.
  const std::wstring& root() const { return root_; }
  const std::wstring& programPath() const { return programPath_; }

  // Records a failed check and lets the case go on, so one run reports every fault it sees.
  bool check(bool ok, const std::string& reason);
  [[noreturn]] void abort(const std::string& reason);
  const std::vector<std::string>& failures() const { return failures_; }

 private:
  std::wstring name_;
  std::wstring programPath_;
  std::wstring root_;
  std::vector<std::string> failures_;
};

using CaseFunction = void (*)(Case&);
struct CaseEntry {
  std::wstring name;
  CaseFunction run;
};
using CaseList = std::vector<CaseEntry>;

void addWindowCases(CaseList& cases);
void addListingCases(CaseList& cases);
void addSettingsCases(CaseList& cases);
void addConversionCases(CaseList& cases);
void addRobustnessCases(CaseList& cases);

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept;
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE release();
  void reset();

 private:
  HANDLE handle_ = nullptr;
};

// ---- files ----

// Creates the folder and every missing parent; aborts the case when that fails.
void makeFolder(Case& c, const std::wstring& path);
void writeBytes(Case& c, const std::wstring& path, const std::string& bytes);
std::optional<std::string> readBytes(const std::wstring& path);
bool fileExists(const std::wstring& path);
// Deletes a folder with everything in it, read-only and hidden entries included.
bool removeTree(const std::wstring& path);
// Here a folder's creation time follows its last-write time, so both are set.
void setFolderTime(Case& c, const std::wstring& path, const SYSTEMTIME& utc);
// Names in a folder matching a pattern, in the order the file system gives them.
std::vector<std::wstring> namesInFolder(const std::wstring& folder, const std::wstring& pattern, bool wantFolders);
// Bytes of the "*.tdl" files of a folder joined in enumeration order: what copy/B must produce.
std::string joinedFragments(Case& c, const std::wstring& folder);
using Files = std::vector<std::pair<std::wstring, std::string>>;
void makeFiles(Case& c, const std::wstring& folder, const Files& files);
// Fragment bytes that start with what a text-mode copy would stop at or change.
std::string fragment(unsigned salt, size_t size);
std::wstring baseName(const std::wstring& path);
std::optional<std::wstring> shortPathOf(const std::wstring& path);
// Whether code page 936 holds every character of the text.
bool fitsCodePage936(const std::wstring& text);
std::string pseudoRandomBytes(unsigned salt, size_t count);

// ---- the program under test ----

struct MessageBoxView {
  HWND box = nullptr;
  std::wstring title;
  std::wstring text;
  int visibleButtons = 0;
  bool hasOkButton = false;
  bool showsIcon = false;
};

// One started copy of the program. The job is closed with kill-on-close, so the
// command interpreter and explorer windows it started end with it.
class App {
 public:
  // Starts appFolder\tdl2mp4.exe with a working folder other than its own and
  // waits for its main window.
  App(Case& c, const std::wstring& appFolder);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  HWND window() const { return window_; }
  HWND control(int id) const;
  DWORD processId() const { return processId_; }
  DWORD threadId() const { return threadId_; }
  const std::wstring& folder() const { return folder_; }

  std::wstring text(int id) const;
  void setText(int id, const std::wstring& text);
  // Delivered as a sent message, so a later settle() is answered only after
  // the click's handler has run or has entered a modal loop.
  void click(int id);
  // True once the window's thread answers a message within the timeout.
  bool settle(DWORD timeoutMs = 10000) const;
  bool running() const;
  bool waitForExit(DWORD timeoutMs) const;
  // Ends every process of the job.
  void end();

  int listCount() const;
  std::vector<std::wstring> listItems() const;
  void selectListItem(int index);
  // Polls until the list holds `expected` entries and has stopped changing; returns the last count.
  int waitListSettled(int expected, DWORD timeoutMs) const;
  HWND focus() const;

  std::optional<MessageBoxView> messageBox() const;
  std::optional<MessageBoxView> waitMessageBox(DWORD timeoutMs) const;
  // Presses OK and waits for the box to go; false when it stays.
  bool dismiss(const MessageBoxView& box) const;

 private:
  // Sends across processes; a window that does not answer within 10 s ends the case.
  LRESULT send(HWND target, UINT message, WPARAM wParam, LPARAM lParam, const char* what) const;

  Case& case_;
  std::wstring folder_;
  UniqueHandle job_;
  UniqueHandle process_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
};

// Top-level windows of a class, of one process or (processId 0) of any.
std::vector<HWND> topLevelWindows(const wchar_t* className, DWORD processId = 0);

// Copies the program under test into the folder (created as needed); returns the folder.
std::wstring installProgram(Case& c, const std::wstring& appFolder);

// The program's fixed title, which every message box carries too.
extern const wchar_t* const kCaption;

// Waits for a box, checks that it looks as every message of the program does,
// dismisses it and returns its text; records a failure and returns nothing when no box comes.
std::optional<std::wstring> takeMessage(Case& c, App& app, const std::string& when, DWORD timeoutMs = 15000);
void expectMessage(Case& c, App& app, const std::wstring& expected, const std::string& when, DWORD timeoutMs = 15000);
void expectMessageStartingWith(Case& c, App& app, const std::wstring& prefix, const std::string& when,
                               DWORD timeoutMs = 15000);
// After the handler has finished: no box is up (one that is gets dismissed and reported).
void expectNoMessage(Case& c, App& app, const std::string& when);
void expectResponsive(Case& c, App& app, const std::string& when);

// Waits until the script is gone and the output holds exactly the expected bytes;
// records what is wrong after 30 s. A message box that comes instead is dismissed
// and its text returned, for the caller to judge.
std::optional<std::wstring> awaitOutput(Case& c, App& app, const std::wstring& output, const std::string& expected,
                                        const std::string& when);

// What the list must show for a cache folder: one entry per subfolder, in enumeration order.
std::vector<std::wstring> expectedListing(const std::wstring& cacheFolder);
// Types the folder into the path box, presses the read button and checks the list it fills.
// Returns the subfolder names in list order.
std::vector<std::wstring> readCache(Case& c, App& app, const std::wstring& typed, const std::wstring& cacheFolder,
                                    const std::string& when, DWORD timeoutMs = 30000);
// Compares the list with what it must show; reports the first difference.
void checkList(Case& c, App& app, const std::vector<std::wstring>& expected, const std::string& when,
               DWORD timeoutMs = 30000);

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

}  // namespace e2e
